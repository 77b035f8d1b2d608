// Any bytes as the texts the HTTP layer takes from outside: a URL from the manifest, a proxy
// and bypass list, KDE's proxy file, a response head and its Content-Length and Content-Range.
// Each reader must stay inside its input and keep what it promises.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/Text.h"
#include "net/ContentRange.h"
#include "platform/linux/HttpParts.h"

namespace {

using namespace platform::linux_http;

void check(bool promise) {
    if (!promise) std::abort();
}

// The input's parts, separated by NUL bytes.
std::string_view part(std::string_view& rest) {
    const auto end = rest.find('\0');
    const std::string_view taken = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return taken;
}

void url(std::string_view bytes) {
    platform::UrlParts parts;
    int error = 0;
    if (crackUrl(text::fromUtf8(std::string(bytes)), parts, error)) {
        check(parts.host.size() < 2048 && parts.path.size() < 2048);
        if (parts.scheme != platform::UrlScheme::other) check(!parts.host.empty());
    } else {
        check(error != 0);
    }
}

void path(std::string_view bytes) {
    const std::string escaped = escapePath(std::string(bytes));
    check(!escaped.empty() && escaped.front() == '/');
    for (unsigned char c : escaped) check(c > 0x20 && c < 0x7f && c != '"');
    // Without a '%' of its own, every '%' is an escape and unescaping gives the path back.
    if (bytes.find('%') != std::string_view::npos) return;
    std::string back;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '%') {
            back += escaped[i];
            continue;
        }
        check(i + 2 < escaped.size());
        back += static_cast<char>(std::stoi(escaped.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    check(back == bytes || back == "/" + std::string(bytes));
}

void proxy(std::string_view bytes) {
    const std::string list(part(bytes));
    const std::string bypass(part(bytes));
    const std::string host(bytes);
    for (bool secure : {false, true}) {
        const std::string chosen = chooseProxy(list, bypass, secure, host);
        check(chosen.empty() || chosen.starts_with("http://"));
    }
}

void kde(std::string_view bytes) {
    const platform::UserProxyConfig config = kdeProxyConfig(bytes);
    if (config.autoDetect) check(!config.proxy && !config.autoConfigUrl);
}

void head(std::string_view bytes) {
    ResponseHead head;
    while (!bytes.empty()) {
        const auto end = bytes.find('\n');
        const std::string_view line = bytes.substr(0, end == std::string_view::npos ? end : end + 1);
        bytes.remove_prefix(line.size());
        const auto kind = head.take(line);
        check(head.status < 1000);
        if (kind == ResponseHead::Line::End) check(head.complete && head.status / 100 != 1);
    }
    if (const auto it = head.fields.find("content-length"); it != head.fields.end()) {
        std::uint32_t length = 0;
        if (parseContentLength(it->second, length)) {
            std::string digits = it->second;
            digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
            check(digits == std::to_string(length));
        }
    }
    const auto range = contentRangeStart(text::fromUtf8(std::string(head.fields["content-range"])));
    check(range >= -1);
}

void contentRange(std::string_view bytes) {
    const std::u16string value = text::fromUtf8(std::string(bytes));
    const std::int64_t start = contentRangeStart(value);
    if (start < 0) return;
    check(value.find(u"bytes ") != std::u16string::npos);
    check(value.find(text::fromUtf8(std::to_string(start)) + u"-") != std::u16string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 6) {
        case 0: url(bytes); break;
        case 1: path(bytes); break;
        case 2: proxy(bytes); break;
        case 3: kde(bytes); break;
        case 4: head(bytes); break;
        default: contentRange(bytes); break;
    }
    return 0;
}
