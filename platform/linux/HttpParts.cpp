// Linux HTTP back end: text work that needs no transfer (see HttpParts.h).
#include "platform/linux/HttpParts.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <proxy.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <vector>

#include "common/Text.h"

namespace platform::linux_http {
namespace {

constexpr std::size_t kMaxUrlPart = 2048;  // the host and path buffers WinINet is given

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool startsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && lower(text.substr(0, prefix.size())) == prefix;
}

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::vector<std::string> split(const std::string& text, const std::string& separators) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = text.find_first_of(separators, start);
        const std::string part =
            trim(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (!part.empty()) parts.push_back(part);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

const char* environment(const char* lowerName, const char* upperName) {
    const char* value = std::getenv(lowerName);
    if (!value || !*value) value = std::getenv(upperName);
    return value && *value ? value : nullptr;
}

// "http://user@host:port/" → "host:port", the form WinHTTP's proxy lists use.
std::string proxyHostPort(std::string proxy) {
    const auto scheme = proxy.find("://");
    if (scheme != std::string::npos) proxy = proxy.substr(scheme + 3);
    const auto slash = proxy.find('/');
    if (slash != std::string::npos) proxy = proxy.substr(0, slash);
    const auto at = proxy.rfind('@');
    if (at != std::string::npos) proxy = proxy.substr(at + 1);
    return proxy;
}

bool globMatch(const std::string& pattern, const std::string& text) {
    // Iterative '*' matching, case already folded by the caller.
    std::size_t p = 0, t = 0, star = std::string::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == text[t] || pattern[p] == '?')) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool bypassed(const std::string& bypassList, const std::string& host) {
    const std::string name = lower(host);
    for (std::string entry : split(bypassList, "; ,")) {
        entry = lower(entry);
        if (entry == "<local>") {
            if (name.find('.') == std::string::npos) return true;
        } else if (entry.find('*') != std::string::npos || entry.find('?') != std::string::npos) {
            if (globMatch(entry, name)) return true;
        } else if (entry.front() == '.') {
            if (name.size() > entry.size() && name.ends_with(entry)) return true;
        } else if (name == entry || (name.size() > entry.size() && name.ends_with("." + entry))) {
            return true;
        }
    }
    return false;
}

bool desktopIs(const char* name) {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    return desktop && lower(desktop).find(name) != std::string::npos;
}

// One GSettings value as gsettings prints it ('text', 8080, ['a', 'b']); nothing on failure.
std::optional<std::string> gsetting(const char* schema, const char* key) {
    // Fixed schema and key names only: nothing from outside reaches the shell.
    const std::string command = std::string("gsettings get ") + schema + " " + key + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string out;
    char buffer[512];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0 && out.size() < 65536)
        out.append(buffer, n);
    if (pclose(pipe) != 0) return std::nullopt;
    return trim(out);
}

std::vector<std::string> quotedItems(const std::string& value) {
    std::vector<std::string> items;
    std::size_t at = 0;
    while ((at = value.find('\'', at)) != std::string::npos) {
        const auto end = value.find('\'', at + 1);
        if (end == std::string::npos) break;
        items.push_back(value.substr(at + 1, end - at - 1));
        at = end + 1;
    }
    return items;
}

std::string unquote(const std::optional<std::string>& value) {
    if (!value) return {};
    const auto items = quotedItems(*value);
    return items.empty() ? *value : items.front();
}

// GNOME keeps the user's proxy in GSettings (org.gnome.system.proxy): mode none, manual or
// auto (a script URL, or auto-detection when the URL is empty).
bool readGnomeConfig(UserProxyConfig& config) {
    if (!desktopIs("gnome") && !desktopIs("unity")) return false;
    const auto mode = gsetting("org.gnome.system.proxy", "mode");
    if (!mode) return false;
    const std::string chosen = unquote(mode);
    if (chosen == "auto") {
        const std::string script = unquote(gsetting("org.gnome.system.proxy", "autoconfig-url"));
        if (script.empty())
            config.autoDetect = true;
        else
            config.autoConfigUrl = text::fromUtf8(script);
    } else if (chosen == "manual") {
        auto hostPort = [](const char* schema) {
            const std::string host = unquote(gsetting(schema, "host"));
            const std::string port = gsetting(schema, "port").value_or("0");
            return host.empty() || port == "0" ? std::string() : host + ":" + port;
        };
        const std::string http = hostPort("org.gnome.system.proxy.http");
        const std::string https = hostPort("org.gnome.system.proxy.https");
        std::string list;
        if (!http.empty() && http == https) {
            list = http;
        } else {
            if (!http.empty()) list = "http=" + http;
            if (!https.empty()) list += (list.empty() ? "" : ";") + ("https=" + https);
        }
        if (!list.empty()) config.proxy = text::fromUtf8(list);
        std::string bypass;
        for (const auto& host :
             quotedItems(gsetting("org.gnome.system.proxy", "ignore-hosts").value_or("")))
            bypass += (bypass.empty() ? "" : ";") + host;
        if (!bypass.empty()) config.proxyBypass = text::fromUtf8(bypass);
    }
    return true;
}

// KDE keeps the user's proxy in kioslaverc: ProxyType 1 manual, 2 script, 3 auto-detect.
bool readKdeConfig(UserProxyConfig& config) {
    if (!desktopIs("kde")) return false;
    std::string folder;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        folder = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        folder = std::string(home) + "/.config";
    else
        return false;
    std::ifstream in(folder + "/kioslaverc");
    if (!in) return false;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    config = kdeProxyConfig(text);
    return true;
}

// One factory for the life of the process: freeing it unloads libproxy's script engine
// (JavaScriptCore) while that engine's own threads still run, which crashes the process.
pxProxyFactory* proxyFactory() {
    static pxProxyFactory* const factory = px_proxy_factory_new();
    return factory;
}

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (previous_)
            setenv(name_, previous_->c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    const char* name_;
    std::optional<std::string> previous_;
};

}  // namespace

bool crackUrl(const std::u16string& url, UrlParts& parts, int& error) {
    const std::string text = text::toUtf8(url);
    const auto schemeEnd = text.find("://");
    if (schemeEnd == std::string::npos || schemeEnd == 0) {
        error = http_error::kUnrecognizedScheme;
        return false;
    }
    const std::string scheme = lower(text.substr(0, schemeEnd));
    std::uint16_t defaultPort = 0;
    parts.scheme = UrlScheme::other;
    if (scheme == "http") {
        parts.scheme = UrlScheme::http;
        defaultPort = 80;
    } else if (scheme == "https") {
        parts.scheme = UrlScheme::https;
        defaultPort = 443;
    } else if (scheme == "ftp") {
        defaultPort = 21;
    }
    const std::size_t authorityStart = schemeEnd + 3;
    std::size_t authorityEnd = text.find_first_of("/?", authorityStart);
    if (authorityEnd == std::string::npos) authorityEnd = text.size();
    std::string authority = text.substr(authorityStart, authorityEnd - authorityStart);
    if (const auto at = authority.rfind('@'); at != std::string::npos)
        authority = authority.substr(at + 1);
    std::string host = authority;
    std::uint16_t port = defaultPort;
    const auto bracket = authority.rfind(']');
    const auto colon = authority.rfind(':');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        host = authority.substr(0, colon);
        const std::string digits = authority.substr(colon + 1);
        if (!digits.empty()) {
            unsigned long value = 0;
            for (char c : digits) {
                if (c < '0' || c > '9' || value > 65535) {
                    error = http_error::kInvalidUrl;
                    return false;
                }
                value = value * 10 + static_cast<unsigned long>(c - '0');
            }
            if (value > 65535) {
                error = http_error::kInvalidUrl;
                return false;
            }
            port = static_cast<std::uint16_t>(value);
        }
    }
    const std::u16string host16 = text::fromUtf8(host);
    const std::u16string path16 = text::fromUtf8(text.substr(authorityEnd));
    if (host16.size() >= kMaxUrlPart || path16.size() >= kMaxUrlPart) {
        error = 122;  // ERROR_INSUFFICIENT_BUFFER, as WinINet reports a part too long
        return false;
    }
    if (host16.empty() && parts.scheme != UrlScheme::other) {
        error = http_error::kInvalidUrl;
        return false;
    }
    parts.host = host16;
    parts.port = port;
    parts.path = path16;
    return true;
}

std::string escapePath(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (unsigned char c : path) {
        if (c <= 0x20 || c == '"' || c >= 0x7f) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (out.empty() || out.front() != '/') out.insert(out.begin(), '/');
    return out;
}

UserProxyConfig readUserProxyConfig() {
    UserProxyConfig config;
    if (readGnomeConfig(config) || readKdeConfig(config)) return config;
    const char* http = environment("http_proxy", "HTTP_PROXY");
    const char* https = environment("https_proxy", "HTTPS_PROXY");
    const char* noProxy = environment("no_proxy", "NO_PROXY");
    auto handleSpecial = [&config](const char* value) {
        if (!value) return false;
        const std::string v = value;
        if (startsWithNoCase(v, "pac+")) {
            config.autoConfigUrl = text::fromUtf8(v.substr(4));
            return true;
        }
        if (startsWithNoCase(v, "wpad:")) {
            config.autoDetect = true;
            return true;
        }
        return false;
    };
    const bool httpSpecial = handleSpecial(http);
    const bool httpsSpecial = handleSpecial(https);
    const std::string httpProxy = http && !httpSpecial ? proxyHostPort(http) : std::string();
    const std::string httpsProxy = https && !httpsSpecial ? proxyHostPort(https) : std::string();
    std::string list;
    if (!httpProxy.empty() && (httpsProxy.empty() || httpsProxy == httpProxy) && !httpsSpecial)
        list = httpProxy;
    else {
        if (!httpProxy.empty()) list = "http=" + httpProxy;
        if (!httpsProxy.empty()) list += (list.empty() ? "" : ";") + ("https=" + httpsProxy);
    }
    if (!list.empty()) config.proxy = text::fromUtf8(list);
    if (noProxy) {
        std::string bypass;
        for (const auto& entry : split(noProxy, ", "))
            bypass += (bypass.empty() ? "" : ";") + entry;
        if (!bypass.empty()) config.proxyBypass = text::fromUtf8(bypass);
    }
    return config;
}

bool discoverProxy(const std::u16string& url, const AutoProxyOptions& options, ProxyForUrl& result,
                   int& error) {
    // libproxy reads its configuration from the environment (its envvar module): a script URL
    // is handed to it as "pac+URL" and auto-detection as "wpad://", for this one question.
    std::string config;
    if ((options.flags & kAutoProxyConfigUrl) && !options.autoConfigUrl.empty())
        config = "pac+" + text::toUtf8(options.autoConfigUrl);
    else if (options.flags & kAutoProxyAutoDetect)
        config = "wpad://";
    else {
        error = http_error::kInvalidParameter;
        return false;
    }
    // The environment is the process's: one question at a time.
    static std::mutex asking;
    const std::lock_guard<std::mutex> oneAtATime(asking);
    ScopedEnvironment order("PX_CONFIG_ORDER", "envvar");
    ScopedEnvironment httpProxy("http_proxy", config);
    ScopedEnvironment httpsProxy("https_proxy", config);
    pxProxyFactory* factory = proxyFactory();
    if (!factory) {
        error = http_error::kAutoProxyServiceError;
        return false;
    }
    char** proxies = px_proxy_factory_get_proxies(factory, text::toUtf8(url).c_str());
    if (!proxies) {
        error = http_error::kAutoProxyServiceError;
        return false;
    }
    std::string list;
    for (char** p = proxies; *p; ++p) {
        const std::string entry = *p;
        if (startsWithNoCase(entry, "direct://")) break;
        if (!startsWithNoCase(entry, "http://")) continue;  // curl and WinHTTP speak HTTP proxies
        list += (list.empty() ? "" : ";") + proxyHostPort(entry);
    }
    px_proxy_factory_free_proxies(proxies);
    result.accessType = list.empty() ? kAccessTypeNoProxy : kAccessTypeNamedProxy;
    result.proxy = list.empty() ? std::nullopt : std::optional(text::fromUtf8(list));
    result.proxyBypass.reset();
    return true;
}

std::string chooseProxy(const std::string& proxyList, const std::string& bypassList, bool secure,
                        const std::string& host) {
    if (proxyList.empty() || bypassed(bypassList, host)) return {};
    std::string generic, forScheme;
    for (const auto& entry : split(proxyList, "; ")) {
        const auto equals = entry.find('=');
        if (equals == std::string::npos) {
            if (generic.empty()) generic = proxyHostPort(entry);
            continue;
        }
        const std::string scheme = lower(entry.substr(0, equals));
        if (forScheme.empty() && scheme == (secure ? "https" : "http"))
            forScheme = proxyHostPort(entry.substr(equals + 1));
    }
    const std::string chosen = forScheme.empty() ? generic : forScheme;
    return chosen.empty() ? std::string() : "http://" + chosen;
}

UserProxyConfig kdeProxyConfig(std::string_view kioslaverc) {
    UserProxyConfig config;
    std::string line, section, type, script, httpProxy, httpsProxy, noProxy;
    std::istringstream in{std::string(kioslaverc)};
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.starts_with("[")) {
            section = line;
            continue;
        }
        if (section != "[Proxy Settings]") continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = trim(line.substr(0, equals));
        const std::string value = trim(line.substr(equals + 1));
        if (key == "ProxyType")
            type = value;
        else if (key == "Proxy Config Script")
            script = value;
        else if (key == "httpProxy")
            httpProxy = value;
        else if (key == "httpsProxy")
            httpsProxy = value;
        else if (key == "NoProxyFor")
            noProxy = value;
    }
    if (type == "1") {
        // KDE writes "http://host port"; WinHTTP lists want host:port.
        auto normalise = [](std::string v) {
            v = proxyHostPort(v);
            std::replace(v.begin(), v.end(), ' ', ':');
            return v;
        };
        std::string list;
        if (!httpProxy.empty()) list = "http=" + normalise(httpProxy);
        if (!httpsProxy.empty())
            list += (list.empty() ? "" : ";") + ("https=" + normalise(httpsProxy));
        if (!list.empty()) config.proxy = text::fromUtf8(list);
        if (!noProxy.empty()) {
            std::string bypass;
            for (const auto& entry : split(noProxy, ","))
                bypass += (bypass.empty() ? "" : ";") + entry;
            config.proxyBypass = text::fromUtf8(bypass);
        }
    } else if (type == "2") {
        config.autoConfigUrl = text::fromUtf8(script);
    } else if (type == "3") {
        config.autoDetect = true;
    }
    return config;
}

ResponseHead::Line ResponseHead::take(std::string_view line) {
    if (line.starts_with("HTTP/")) {
        fields.clear();
        complete = false;
        status = 0;
        const auto space = line.find(' ');
        if (space != std::string_view::npos) {
            for (std::size_t i = space + 1; i < line.size() && i < space + 4; ++i) {
                if (line[i] < '0' || line[i] > '9') break;
                status = status * 10 + static_cast<std::uint32_t>(line[i] - '0');
            }
        }
        return Line::Status;
    }
    if (line == "\r\n" || line == "\n") {
        if (status >= 100 && status < 200) return Line::Other;  // interim: the real head follows
        complete = true;
        return Line::End;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return Line::Other;
    const std::string name = lower(std::string(line.substr(0, colon)));
    const std::string value = trim(std::string(line.substr(colon + 1)));
    auto& slot = fields[name];
    slot = slot.empty() ? value : slot + ", " + value;
    return Line::Field;
}

std::vector<std::u16string> resolveAddresses(const std::string& host) {
    std::vector<std::u16string> addresses;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return addresses;
    for (const addrinfo* at = found; at; at = at->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        const void* address =
            at->ai_family == AF_INET
                ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(at->ai_addr)->sin_addr)
                : static_cast<const void*>(
                      &reinterpret_cast<sockaddr_in6*>(at->ai_addr)->sin6_addr);
        if ((at->ai_family == AF_INET || at->ai_family == AF_INET6) &&
            ::inet_ntop(at->ai_family, address, text, sizeof text))
            addresses.push_back(text::fromUtf8(text));
    }
    ::freeaddrinfo(found);
    return addresses;
}

}  // namespace platform::linux_http
