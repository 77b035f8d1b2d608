#include "app/Probe.h"

#include <memory>

#include "mysql/uMysqlClient.h"

ProbeResult ProbeLocalMysql(const std::u16string& host, std::uint32_t port) {
    ProbeResult result;
    auto client = std::make_unique<TMysqlClient>();
    client->setHost(host);
    client->setPort(port);
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
