#include "net/Redirects.h"

#include <algorithm>
#include <array>

namespace {

std::u16string lower(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return text;
}

// Dotted IPv4 with four decimal parts of at most 255 (no octal or shortened forms: those are
// names to us, and names are judged by their addresses).
std::optional<std::array<int, 4>> ipv4(const std::u16string& host) {
    std::array<int, 4> parts{};
    std::size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (at >= host.size() || host[at] != u'.') return std::nullopt;
            ++at;
        }
        const std::size_t start = at;
        int value = 0;
        while (at < host.size() && host[at] >= u'0' && host[at] <= u'9' && at - start < 3)
            value = value * 10 + (host[at++] - u'0');
        if (at == start || value > 255 || (host[start] == u'0' && at - start > 1))
            return std::nullopt;
        parts[static_cast<std::size_t>(i)] = value;
    }
    if (at != host.size()) return std::nullopt;
    return parts;
}

AddressKind ipv4Kind(const std::array<int, 4>& a) {
    if (a[0] == 127) return AddressKind::loopback;
    if (a[0] == 0) return AddressKind::unspecified;
    if (a[0] == 169 && a[1] == 254) return AddressKind::linkLocal;
    if (a[0] == 10 || (a[0] == 172 && a[1] >= 16 && a[1] <= 31) || (a[0] == 192 && a[1] == 168))
        return AddressKind::privateNet;
    return AddressKind::publicNet;
}

// IPv6 by its leading groups: enough to tell the ranges we judge. An IPv4-mapped address
// (::ffff:a.b.c.d) is judged as its IPv4 address.
std::optional<AddressKind> ipv6Kind(const std::u16string& host) {
    if (host.empty() || host.find(u':') == std::u16string::npos ||
        host.find_first_not_of(u"0123456789abcdef:.") != std::u16string::npos || host.size() > 45)
        return std::nullopt;
    if (host.find(u":::") != std::u16string::npos) return std::nullopt;
    const std::size_t lastColon = host.rfind(u':');
    if (host.find(u'.') != std::u16string::npos) {
        const auto mapped = ipv4(host.substr(lastColon + 1));
        if (!mapped) return std::nullopt;
        if (host.substr(0, lastColon + 1) == u"::ffff:") return ipv4Kind(*mapped);
        return AddressKind::publicNet;
    }
    if (host == u"::1") return AddressKind::loopback;
    if (host == u"::") return AddressKind::unspecified;
    const std::u16string first = host.substr(0, host.find(u':'));
    if (first.size() > 4) return std::nullopt;
    unsigned value = 0;
    for (const char16_t c : first)
        value = value * 16 + static_cast<unsigned>(c <= u'9' ? c - u'0' : c - u'a' + 10);
    if (first.empty()) return AddressKind::publicNet;  // "::x": compressed zeros first
    if ((value & 0xffc0) == 0xfe80) return AddressKind::linkLocal;
    if ((value & 0xfe00) == 0xfc00) return AddressKind::privateNet;
    return AddressKind::publicNet;
}

bool mayNotBeReached(AddressKind kind) {
    return kind == AddressKind::loopback || kind == AddressKind::linkLocal ||
           kind == AddressKind::unspecified;
}

// The kinds an end stands for: its written host, and the addresses it resolved to.
std::vector<AddressKind> kindsOf(const RedirectEnd& end) {
    std::vector<AddressKind> kinds{addressKind(end.host)};
    for (const auto& address : end.addresses) kinds.push_back(addressKind(address));
    return kinds;
}

}  // namespace

bool isRedirect(std::uint32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::optional<std::u16string> redirectTarget(const std::u16string& from,
                                             const std::u16string& location) {
    if (location.empty() || location.size() > 4096) return std::nullopt;
    for (const char16_t c : location)
        if (c <= u' ' || c == 0x7f) return std::nullopt;
    const std::u16string folded = lower(location.substr(0, 8));
    if (folded.starts_with(u"http://") || folded.starts_with(u"https://")) {
        const std::size_t hostStart = location.find(u"//") + 2;
        if (hostStart >= location.size() || location[hostStart] == u'/') return std::nullopt;
        return location;
    }
    const std::size_t schemeEnd = from.find(u"://");
    if (schemeEnd == std::u16string::npos) return std::nullopt;
    if (location.starts_with(u"//")) {
        if (location.size() == 2 || location[2] == u'/') return std::nullopt;
        return from.substr(0, schemeEnd + 1) + location;
    }
    if (!location.starts_with(u"/")) return std::nullopt;
    const std::size_t pathStart = from.find(u'/', schemeEnd + 3);
    return from.substr(0, pathStart) + location;
}

AddressKind addressKind(const std::u16string& written) {
    std::u16string host = lower(written);
    if (host.size() >= 2 && host.front() == u'[' && host.back() == u']')
        host = host.substr(1, host.size() - 2);
    if (host == u"localhost" || host.ends_with(u".localhost")) return AddressKind::loopback;
    if (const auto v4 = ipv4(host)) return ipv4Kind(*v4);
    if (const auto v6 = ipv6Kind(host.substr(0, host.find(u'%')))) return *v6;
    return AddressKind::name;
}

bool redirectAllowed(const RedirectEnd& from, const RedirectEnd& to) {
    const auto fromKinds = kindsOf(from);
    const auto toKinds = kindsOf(to);
    const bool sameEnd = lower(from.host) == lower(to.host) && from.port == to.port;
    if (!sameEnd && std::any_of(toKinds.begin(), toKinds.end(), mayNotBeReached)) return false;
    const bool fromPublic = std::any_of(fromKinds.begin(), fromKinds.end(), [](AddressKind kind) {
        return kind == AddressKind::publicNet;
    });
    const bool toPrivate = std::any_of(toKinds.begin(), toKinds.end(), [](AddressKind kind) {
        return kind == AddressKind::privateNet;
    });
    return !(fromPublic && toPrivate);
}
