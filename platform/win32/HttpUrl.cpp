// InternetCrackUrlW with flags 0: nothing escaped or unescaped, the query left in the path.
#include "platform/win32/HttpUrl.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

namespace platform {

bool crackUrlWithWinInet(const std::u16string& url, UrlParts& parts) {
    // Host and path buffers of 2048 characters; the extra information is not asked for, so
    // the query string stays part of the path.
    std::vector<wchar_t> host(2048, L'\0');
    std::vector<wchar_t> path(2048, L'\0');
    URL_COMPONENTSW components{};
    components.dwStructSize = sizeof components;
    components.dwSchemeLength = 1;
    components.lpszHostName = host.data();
    components.dwHostNameLength = static_cast<DWORD>(host.size());
    components.lpszUrlPath = path.data();
    components.dwUrlPathLength = static_cast<DWORD>(path.size());
    if (!InternetCrackUrlW(reinterpret_cast<const wchar_t*>(url.c_str()), 0, 0, &components))
        return false;
    parts.scheme = components.nScheme == INTERNET_SCHEME_HTTPS  ? UrlScheme::https
                   : components.nScheme == INTERNET_SCHEME_HTTP ? UrlScheme::http
                                                                : UrlScheme::other;
    parts.host.assign(reinterpret_cast<const char16_t*>(host.data()), components.dwHostNameLength);
    parts.path.assign(reinterpret_cast<const char16_t*>(path.data()), components.dwUrlPathLength);
    parts.port = components.nPort;
    return true;
}

}  // namespace platform
