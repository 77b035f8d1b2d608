// Texts for the shell's result codes, worded by the system.
#include "ui/tbErrors.h"

#include <cstdio>

#include "platform/Registry.h"
#include "platform/System.h"

std::u16string SysErrorMessageFor(std::int32_t errorCode) {
    std::u16string message;
    if (platform::installed<platform::System>()) {
        // Language 0: the system's own choice (user, then system default).
        if (auto found = platform::get<platform::System>().errorMessage(errorCode, 0))
            message = *found;
    }
    while (!message.empty() && (message.back() <= u' ' || message.back() == u'.'))
        message.pop_back();
    if (message.empty()) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "OLE error %.8X",
                      static_cast<std::uint32_t>(errorCode));
        message = text::fromAscii(buffer);
    }
    return message;
}

void OleCheck(std::int32_t result) {
    if (result < 0) throw EOleSysError(SysErrorMessageFor(result), result);
}
