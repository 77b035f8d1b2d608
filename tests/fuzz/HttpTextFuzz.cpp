// Any bytes as the texts the HTTP layer takes from outside: a URL from the manifest, a proxy
// and bypass list, KDE's proxy file, a response head, Content-Length (repeats included) and
// Content-Range, and a redirect's Location.
// Each reader must stay inside its input and keep what it promises.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/Text.h"
#include "net/HttpFields.h"
#include "net/Redirects.h"
#include "platform/linux/HttpParts.h"

namespace {

using namespace platform::linux_http;

void check(bool promise) {
    if (!promise) std::abort();
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
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
        const std::string_view line =
            bytes.substr(0, end == std::string_view::npos ? end : end + 1);
        bytes.remove_prefix(line.size());
        const auto kind = head.take(line);
        check(head.status < 1000);
        if (kind == ResponseHead::Line::End) check(head.complete && head.status / 100 != 1);
    }
    if (const auto it = head.fields.find("content-length"); it != head.fields.end()) {
        std::uint64_t length = 0;
        if (parseContentLength(text::fromUtf8(it->second), length) && length != UINT64_MAX &&
            it->second.find(',') == std::string::npos) {
            std::string digits = trimmed(it->second);
            digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
            check(digits == std::to_string(length));
        }
    }
    ContentRange range;
    if (parseContentRange(text::fromUtf8(head.fields["content-range"]), range))
        check(range.first >= 0 && range.first <= range.last);
}

void contentRange(std::string_view bytes) {
    const std::u16string value = text::fromUtf8(std::string(bytes));
    ContentRange range;
    if (parseContentRange(value, range)) {
        check(range.first >= 0 && range.first <= range.last);
        check(range.total == -1 || range.last < range.total);
        check((range.total == -1) == (value.find(u"/*") != std::u16string::npos));
    }
    // Repeats of one length read as that length, whatever the blanks around the commas.
    std::uint64_t length = 0;
    if (parseContentLength(value, length) && length != UINT64_MAX) {
        const std::u16string one = text::fromUtf8(std::to_string(length));
        std::uint64_t twice = 0;
        check(parseContentLength(one + u" , " + value, twice) && twice == length);
        check(!parseContentLength(one + u"1, " + value, twice));
    }
}

// A redirect's Location: a target that is allowed from a public site never names this machine
// or a private network.
void location(std::string_view bytes) {
    const std::u16string value = text::fromUtf8(std::string(bytes));
    const auto target = redirectTarget(u"http://update.test:8080/update/ver.txt", value);
    if (!target) return;
    platform::UrlParts parts;
    int error = 0;
    if (!crackUrl(*target, parts, error)) return;
    const RedirectEnd from{u"203.0.113.5", 80, {}};
    if (redirectAllowed(from, {parts.host, parts.port, {}}))
        check(addressKind(parts.host) != AddressKind::loopback &&
              addressKind(parts.host) != AddressKind::privateNet);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 7) {
        case 0:
            url(bytes);
            break;
        case 1:
            path(bytes);
            break;
        case 2:
            proxy(bytes);
            break;
        case 3:
            kde(bytes);
            break;
        case 4:
            head(bytes);
            break;
        case 6:
            location(bytes);
            break;
        default:
            contentRange(bytes);
            break;
    }
    return 0;
}
