#include "run/Manifest.h"

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
