#include "net/SysErrorText.h"

#include "common/Text.h"
#include "platform/Registry.h"
#include "platform/System.h"

namespace {
constexpr std::uint16_t kUkrainian = 0x0422;
constexpr std::uint16_t kSystemDefaultLanguage = 0x0800;
}  // namespace

std::u16string SysErrorText(std::int32_t code) {
    auto& system = platform::get<platform::System>();
    auto message = system.errorMessage(code, kUkrainian);
    if (!message) message = system.errorMessage(code, kSystemDefaultLanguage);
    std::u16string text = message.value_or(std::u16string());
    if (text.size() >= 2 && text.ends_with(u"\r\n")) text.resize(text.size() - 2);
    if (text.empty()) return text::decimal(code);
    return text + u": " + text::decimal(code);
}
