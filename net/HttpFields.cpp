#include "net/HttpFields.h"

#include <cstddef>

namespace {

constexpr std::uint64_t kSaturated = UINT64_MAX;

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

void skipBlanks(const std::u16string& text, std::size_t& at) {
    while (at < text.size() && (text[at] == u' ' || text[at] == u'\t')) ++at;
}

// Decimal digits at `at`; saturates instead of wrapping. False when there is no digit.
bool readNumber(const std::u16string& text, std::size_t& at, std::uint64_t& number) {
    const std::size_t start = at;
    number = 0;
    for (; at < text.size() && isDigit(text[at]); ++at) {
        const auto digit = static_cast<std::uint64_t>(text[at] - u'0');
        number = number > (kSaturated - digit) / 10 ? kSaturated : number * 10 + digit;
    }
    return at > start;
}

}  // namespace

bool parseContentLength(const std::u16string& value, std::uint64_t& length) {
    std::size_t at = 0;
    bool first = true;
    std::uint64_t agreed = 0;
    while (true) {
        skipBlanks(value, at);
        std::uint64_t number = 0;
        if (!readNumber(value, at, number)) return false;
        if (!first && number != agreed) return false;
        agreed = number;
        first = false;
        skipBlanks(value, at);
        if (at == value.size()) break;
        if (value[at] != u',') return false;
        ++at;
    }
    length = agreed;
    return true;
}

bool parseContentRange(const std::u16string& value, ContentRange& range) {
    constexpr auto kMax = static_cast<std::uint64_t>(INT64_MAX);
    std::size_t at = 0;
    skipBlanks(value, at);
    const std::u16string unit = u"bytes";
    if (value.compare(at, unit.size(), unit) != 0) return false;
    at += unit.size();
    const std::size_t afterUnit = at;
    skipBlanks(value, at);
    if (at == afterUnit) return false;
    std::uint64_t first = 0, last = 0, total = 0;
    if (!readNumber(value, at, first) || at >= value.size() || value[at] != u'-') return false;
    ++at;
    if (!readNumber(value, at, last) || at >= value.size() || value[at] != u'/') return false;
    ++at;
    bool unknownTotal = false;
    if (at < value.size() && value[at] == u'*') {
        unknownTotal = true;
        ++at;
    } else if (!readNumber(value, at, total)) {
        return false;
    }
    skipBlanks(value, at);
    if (at != value.size() || first > last || last >= kMax || total > kMax) return false;
    if (!unknownTotal && last >= total) return false;
    range.first = static_cast<std::int64_t>(first);
    range.last = static_cast<std::int64_t>(last);
    range.total = unknownTotal ? -1 : static_cast<std::int64_t>(total);
    return true;
}
