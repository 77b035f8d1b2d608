#include "app/CommandLine.h"

#include <cstdint>

#include "common/Text.h"
#include "settings/ProxySettings.h"

namespace {

std::int32_t integerOr(const std::u16string& argument, std::int32_t fallback) {
    std::int32_t value = 0;
    return text::parseInt32(argument, value) ? value : fallback;
}

}  // namespace

void ReadCommandLine(const std::vector<std::u16string>& arguments) {
    const std::size_t count = arguments.size();
    // The installed product starts us with arguments when it wants an update.
    if (count >= 1) UpdateMode = true;
    // Ranges are not checked: the installer receives the values as they came.
    if (count >= 4) {
        ProxySettings.mode = integerOr(arguments[1], pmSystem);
        ProxySettings.host = arguments[2];
        ProxySettings.port = integerOr(arguments[3], 0);
    }
    if (count >= 6) {
        ProxySettings.login = arguments[4];
        ProxySettings.password = arguments[5];
    }
    if (count >= 7) MonitorPort = integerOr(arguments[6], MonitorPort);
}
