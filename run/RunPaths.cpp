#include "run/RunPaths.h"

#include "common/Text.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/System.h"

#ifndef ORVELLE_UPDATE_HOST
#define ORVELLE_UPDATE_HOST "update.orvelle.com.ua"
#endif

std::u16string TempPath() {
    return platform::get<platform::Files>().temporaryFolder();
}

void DeleteByMask(const std::u16string& folder, const std::u16string& mask) {
    platform::get<platform::Files>().deleteByMask(folder, mask);
}

std::u16string ApplyScheme(const std::u16string& url, bool secure) {
    constexpr std::u16string_view plain = u"http://";
    if (secure && url.starts_with(plain)) return u"https://" + url.substr(plain.size());
    return url;
}

std::u16string UpdateHost() {
    const auto configured =
        platform::get<platform::System>().environmentVariable(u"ORVELLE_UPDATE_HOST");
    if (configured && !configured->empty()) return *configured;
    return text::fromUtf8(ORVELLE_UPDATE_HOST);
}

std::u16string ManifestUrl() {
    return u"http://" + UpdateHost() + u"/update/ver.txt";
}

std::u16string UrlExtension(const std::u16string& url) {
    const std::size_t dot = url.find_last_of(u".\\:");
    if (dot == std::u16string::npos || url[dot] != u'.') return {};
    return url.substr(dot);
}

std::u16string FolderOf(const std::u16string& path) {
    const bool windows = platform::get<platform::Files>().separator() == u'\\';
    const std::size_t last = path.find_last_of(windows ? u"\\:" : u"/");
    if (last == std::u16string::npos) return {};
    return path.substr(0, last + 1);
}

std::u16string ProgramFolder() {
    return FolderOf(platform::get<platform::System>().programPath());
}
