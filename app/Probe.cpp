#include "app/Probe.h"

#include <memory>

#include "mysql/uMysqlClient.h"

ProbeResult ProbeLocalMysql(const std::u16string& host, std::uint32_t port) {
    ProbeResult result;
    auto client = std::make_unique<TMysqlClient>();
    client->setHost(host);
    client->setPort(port);
    // Start-up waits for the probe: a local server answers in milliseconds, so a few seconds
    // bound what a listener that never answers can cost before the window appears.
    client->setConnectTimeout(kProbeTimeoutSeconds);
    client->setReadTimeout(kProbeTimeoutSeconds);
    client->setWriteTimeout(kProbeTimeoutSeconds);
    // The probe's login stays the short 4.1 one of an anonymous user, without a method name.
    client->setPluginAuth(false);
    if (client->connect()) {
        result.version = client->ServerVersion();
        // Only the very first two characters count: "15.0" or " 5.1" are not version 5.
        result.outcome = result.version.rfind(u"5.", 0) == 0 ? ProbeOutcome::SupportedServer
                                                             : ProbeOutcome::UnsupportedServer;
    } else {
        // Why it failed does not matter to start-up: no usable server is there.
        (void)client->LastError();
    }
    return result;
}

std::u16string UnsupportedVersionMessage(const std::u16string& version) {
    return u"MySQL " + version + u" не підтримується!\r\nВстановіть версію 5.0 та вище";
}
