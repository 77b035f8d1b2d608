// Pieces of the Linux HTTP back end that are plain text work: URL splitting and path
// escaping as WinINet/WinHTTP do them, the user's proxy configuration, the choice of a proxy
// from a WinHTTP-style proxy list, and proxy discovery through libproxy.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Http.h"

namespace platform::linux_http {

// InternetCrackUrlW's split (flags 0); error is a WinHTTP-style number on failure.
bool crackUrl(const std::u16string& url, UrlParts& parts, int& error);

// The path as WinHTTP puts it on the wire: blanks, double quotes, control characters and
// bytes outside ASCII percent-escaped, everything else (the query included) as given.
std::string escapePath(const std::string& path);

// The desktop's proxy settings on GNOME (GSettings) and KDE (kioslaverc); elsewhere the
// environment's http_proxy / https_proxy / no_proxy, with libproxy's conventions for
// configuration scripts ("pac+URL") and auto-detection ("wpad://").
UserProxyConfig readUserProxyConfig();

// The proxy settings in the text of KDE's kioslaverc ("[Proxy Settings]": ProxyType 1 manual,
// 2 script, 3 auto-detect).
UserProxyConfig kdeProxyConfig(std::string_view kioslaverc);

// Asks libproxy for the proxy of url using the given script URL and/or auto-detection.
bool discoverProxy(const std::u16string& url, const AutoProxyOptions& options, ProxyForUrl& result,
                   int& error);

// From a WinHTTP proxy list ("host:port", "http=h:p;https=h:p", "http://h:p ...") and bypass
// list ("<local>", "*.example.com", "host"), the curl proxy for this request: "" for direct.
std::string chooseProxy(const std::string& proxyList, const std::string& bypassList, bool secure,
                        const std::string& host);

// The head of a response, read line by line as curl hands the lines over. A new status line
// (after a redirect or an interim 1xx answer) starts it again.
struct ResponseHead {
    enum class Line { Status, End, Field, Other };

    std::uint32_t status = 0;
    std::map<std::string, std::string> fields;  // lower-case names; repeats joined by ", "
    bool complete = false;                      // the blank line after a final status came

    Line take(std::string_view line);
};

// The addresses (numeric text) a host name resolves to; empty when it does not.
std::vector<std::u16string> resolveAddresses(const std::string& host);

}  // namespace platform::linux_http
