#include "run/Manifest.h"

#include <algorithm>

#include "common/Text.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "run/RunPaths.h"

namespace {

bool startsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.size() >= prefix.size() && bytes.substr(0, prefix.size()) == prefix;
}

std::u16string decodeUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    // A dangling odd byte at the end cannot form a unit and is dropped.
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        text.push_back(bigEndian ? static_cast<char16_t>(first << 8 | second)
                                 : static_cast<char16_t>(second << 8 | first));
    }
    return text;
}

void appendUtf16(std::string& out, std::u16string_view text, bool bigEndian) {
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        out.push_back(bigEndian ? high : low);
        out.push_back(bigEndian ? low : high);
    }
}

}  // namespace

void ReadLines(std::string_view bytes, std::vector<std::u16string>& lines, TextEncoding& encoding) {
    std::u16string text;
    if (startsWith(bytes, "\xEF\xBB\xBF")) {
        encoding = TextEncoding::Utf8Bom;
        text = text::fromUtf8(bytes.substr(3));
    } else if (startsWith(bytes, "\xFF\xFE")) {
        encoding = TextEncoding::Utf16LeBom;
        text = decodeUtf16(bytes.substr(2), false);
    } else if (startsWith(bytes, "\xFE\xFF")) {
        encoding = TextEncoding::Utf16BeBom;
        text = decodeUtf16(bytes.substr(2), true);
    } else {
        encoding = TextEncoding::Ansi;
        text = platform::get<platform::System>().fromAnsi(std::string(bytes));
    }

    lines.clear();
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c != u'\r' && c != u'\n') {
            ++i;
            continue;
        }
        lines.push_back(text.substr(start, i - start));
        ++i;
        if (c == u'\r' && i < text.size() && text[i] == u'\n') ++i;
        start = i;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
}

std::string WriteLines(const std::vector<std::u16string>& lines, TextEncoding encoding) {
    std::u16string text;
    for (const auto& line : lines) text += line + u"\r\n";
    switch (encoding) {
        case TextEncoding::Utf8Bom:
            return "\xEF\xBB\xBF" + text::toUtf8(text);
        case TextEncoding::Utf16LeBom: {
            std::string out = "\xFF\xFE";
            appendUtf16(out, text, false);
            return out;
        }
        case TextEncoding::Utf16BeBom: {
            std::string out = "\xFE\xFF";
            appendUtf16(out, text, true);
            return out;
        }
        case TextEncoding::Ansi:
            break;
    }
    return platform::get<platform::System>().toAnsi(text);
}

bool SplitKeyValue(const std::u16string& line, std::u16string& key, std::u16string& value) {
    const std::size_t equals = line.find(u'=');
    if (equals == std::u16string::npos) return false;
    key = line.substr(0, equals);
    value = line.substr(equals + 1);
    return true;
}

bool FindValue(const std::vector<std::u16string>& lines, std::u16string_view key,
               std::u16string& value) {
    const std::u16string wanted = text::upperAscii(key);
    std::u16string lineKey;
    std::u16string lineValue;
    for (const auto& line : lines) {
        if (!SplitKeyValue(line, lineKey, lineValue)) continue;
        if (text::upperAscii(lineKey) == wanted) {
            value = lineValue;
            return true;
        }
    }
    return false;
}

bool ItemsFromManifest(const std::vector<std::u16string>& lines, bool withSql,
                       const std::u16string& tempFolder, std::vector<tf>& items) {
    tf installer;
    // A first line without "=" names no installer; it must never be taken for a URL.
    if (lines.empty() || !SplitKeyValue(lines.front(), installer.ver, installer.url)) return false;
    installer.name = tempFolder + u"ORVL_Downloader" + UrlExtension(installer.url);
    items.push_back(installer);

    tf mysql;
    if (withSql && FindValue(lines, u"sql", mysql.url) && !mysql.url.empty()) {
        mysql.ver = u"sql";
        mysql.name = tempFolder + u"ORVL_Downloader_" + mysql.ver + UrlExtension(mysql.url);
        items.push_back(mysql);
    }
    return true;
}

std::vector<std::optional<std::u16string>> ItemLines(const std::vector<std::u16string>& lines,
                                                     std::size_t itemCount,
                                                     std::u16string_view installerKey,
                                                     std::u16string_view sqlKey) {
    std::vector<std::optional<std::u16string>> values(itemCount);
    if (lines.empty()) return values;
    const std::vector<std::u16string> rest(lines.begin() + 1, lines.end());
    const std::u16string_view keys[] = {installerKey, sqlKey};
    for (std::size_t i = 0; i < itemCount && i < 2; ++i) {
        std::u16string value;
        if (FindValue(rest, keys[i], value)) values[i] = value;
    }
    return values;
}

bool ParseSha256(std::u16string_view hex, std::array<std::uint8_t, 32>& digest) {
    if (hex.size() != digest.size() * 2) return false;
    const auto nibble = [](char16_t c) -> int {
        if (c >= u'0' && c <= u'9') return c - u'0';
        if (c >= u'a' && c <= u'f') return c - u'a' + 10;
        if (c >= u'A' && c <= u'F') return c - u'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = nibble(hex[2 * i]);
        const int low = nibble(hex[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        digest[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

bool ParseSize(std::u16string_view text, std::uint64_t& bytes) {
    constexpr std::uint64_t kLargest = 0x7FFFFFFFFFFFFFFF;
    if (text.empty() || text.size() > 19 || (text[0] == u'0' && text.size() > 1)) return false;
    std::uint64_t value = 0;
    for (const char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');  // 19 digits cannot wrap
    }
    if (value > kLargest) return false;
    bytes = value;
    return true;
}

bool ParseSerial(std::u16string_view text, std::uint64_t& serial) {
    std::uint64_t value = 0;
    if (!ParseSize(text, value) || value == 0) return false;
    serial = value;
    return true;
}

namespace {

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t daysSince1970(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

}  // namespace

bool ParseExpiry(std::u16string_view text, std::int64_t& unixSeconds) {
    // Position of each digit field in "YYYY-MM-DDTHH:MM:SSZ" and the separators between them.
    constexpr std::u16string_view kShape = u"dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != kShape.size()) return false;
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        const bool digit = text[i] >= u'0' && text[i] <= u'9';
        if (kShape[i] == u'd' ? !digit : text[i] != kShape[i]) return false;
    }
    const auto number = [&](std::size_t at, std::size_t length) {
        std::int64_t value = 0;
        for (std::size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - u'0');
        return value;
    };
    const std::int64_t year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const std::int64_t hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int monthDays[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > monthDays[month - 1] || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    unixSeconds = daysSince1970(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

namespace {

// One DER INTEGER of at most 32 significant bytes, positive, minimally encoded, written
// right-aligned into out (32 bytes).
bool readSignatureNumber(std::string_view& der, char* out) {
    if (der.size() < 2 || der[0] != '\x02') return false;
    const auto length = static_cast<unsigned char>(der[1]);
    // Short-form lengths only: a P-256 number never needs more than 33 bytes.
    if (length == 0 || length > 33 || der.size() - 2 < length) return false;
    std::string_view number = der.substr(2, length);
    der.remove_prefix(2 + length);
    const auto first = static_cast<unsigned char>(number[0]);
    if (first & 0x80) return false;  // negative
    if (first == 0) {
        // A leading zero only where the next byte would read as a sign.
        if (number.size() == 1 || !(static_cast<unsigned char>(number[1]) & 0x80)) return false;
        number.remove_prefix(1);
    }
    if (number.size() > 32) return false;
    std::fill(out, out + 32, '\0');
    std::copy(number.begin(), number.end(), out + (32 - number.size()));
    return true;
}

}  // namespace

bool ReadSignature(std::string_view der, std::string& rAndS) {
    if (der.size() < 2 || der[0] != '\x30') return false;
    const auto length = static_cast<unsigned char>(der[1]);
    if (length >= 0x80 || der.size() - 2 != length) return false;
    std::string_view body = der.substr(2);
    std::string numbers(64, '\0');
    if (!readSignatureNumber(body, numbers.data()) ||
        !readSignatureNumber(body, numbers.data() + 32) || !body.empty())
        return false;
    rAndS = numbers;
    return true;
}
