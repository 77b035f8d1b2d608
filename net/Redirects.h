// Which redirects the transfer engine follows. A redirect is the server's word alone, so it may
// never turn a download into a request to this machine (where the product's monitor service
// listens) or from the internet into the user's own network: the address of where it points is
// judged before anything is sent there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr int kMaxRedirects = 5;

// A redirect status the engine follows (301, 302, 303, 307, 308).
bool isRedirect(std::uint32_t status);

// Location resolved against the URL it answered: absolute ("scheme://..."), scheme-relative
// ("//host/...") or an absolute path ("/..."). Nothing else, no blanks or control characters,
// only the http and https schemes.
std::optional<std::u16string> redirectTarget(const std::u16string& from,
                                             const std::u16string& location);

enum class AddressKind { name, loopback, linkLocal, unspecified, privateNet, publicNet };
// What a host text is: an IPv4 or IPv6 address (bracketed or not) by its range, "localhost" as
// loopback, anything else a name.
AddressKind addressKind(const std::u16string& host);

// One end of a redirect: the host as written, its port, and when the request goes directly, the
// addresses its name resolves to (empty when it is an address, goes through a proxy or did not
// resolve).
struct RedirectEnd {
    std::u16string host;
    std::uint16_t port = 0;
    std::vector<std::u16string> addresses;
};

// Never to this machine, a link-local or an unspecified address, unless it stays on the very host
// and port the request went to; never from a public address to a private one.
bool redirectAllowed(const RedirectEnd& from, const RedirectEnd& to);
