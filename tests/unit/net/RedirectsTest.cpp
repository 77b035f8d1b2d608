// Where a redirect may point: the target as resolved from Location, and the address ranges that
// keep a download from being turned against this machine or the user's own network.
#include <gtest/gtest.h>

#include "common/Text.h"
#include "net/Redirects.h"

namespace {

TEST(Redirects, LocationIsResolvedOnlyFromItsPlainForms) {
    const std::u16string from = u"https://update.test:8443/update/ver.txt?x=1";
    const std::pair<const char16_t*, const char16_t*> rows[] = {
        {u"/other.txt", u"https://update.test:8443/other.txt"},
        {u"//mirror.test/f", u"https://mirror.test/f"},
        {u"HTTP://mirror.test/f", u"HTTP://mirror.test/f"},
        {u"ftp://mirror.test/f", nullptr},
        {u"relative.txt", nullptr},
        {u"/with blank", nullptr},
        {u"http:///nohost", nullptr},
        {u"", nullptr},
    };
    for (const auto& [location, expected] : rows) {
        SCOPED_TRACE(text::toUtf8(location));
        const auto target = redirectTarget(from, location);
        EXPECT_EQ(target.has_value(), expected != nullptr);
        if (target && expected) {
            EXPECT_EQ(*target, expected);
        }
    }
}

TEST(Redirects, NeverToThisMachineNorFromPublicToPrivate) {
    const RedirectEnd publicSite{u"203.0.113.5", 80, {}};
    const RedirectEnd intranet{u"10.1.2.3", 80, {}};
    const RedirectEnd named{u"update.test", 80, {u"198.51.100.7"}};
    struct Row {
        RedirectEnd from, to;
        bool allowed;
    };
    const Row rows[] = {
        {publicSite, {u"198.51.100.9", 80, {}}, true},
        {publicSite, {u"127.0.0.1", 48754, {}}, false},
        {publicSite, {u"LOCALHOST", 80, {}}, false},
        {publicSite, {u"[::1]", 80, {}}, false},
        {publicSite, {u"0.0.0.0", 80, {}}, false},
        {publicSite, {u"169.254.169.254", 80, {}}, false},
        {publicSite, {u"[fe80::1]", 80, {}}, false},
        {publicSite, {u"[::ffff:127.0.0.1]", 80, {}}, false},
        {publicSite, {u"mirror.test", 80, {u"127.0.0.2"}}, false},
        {publicSite, intranet, false},
        {publicSite, {u"172.20.0.1", 80, {}}, false},
        {publicSite, {u"192.168.1.1", 80, {}}, false},
        {publicSite, {u"[fd00::1]", 80, {}}, false},
        {named, {u"mirror.test", 80, {u"192.168.0.9"}}, false},
        {intranet, {u"10.9.9.9", 80, {}}, true},
        {{u"127.0.0.1", 8080, {}}, {u"127.0.0.1", 8080, {}}, true},
        {{u"127.0.0.1", 8080, {}}, {u"127.0.0.1", 8081, {}}, false},
        {publicSite, {u"172.32.0.1", 80, {}}, true},
        {publicSite, {u"0127.0.0.1", 80, {}}, true},  // a name to us, judged by its addresses
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(text::toUtf8(row.from.host + u" -> " + row.to.host));
        EXPECT_EQ(redirectAllowed(row.from, row.to), row.allowed);
    }
}

}  // namespace
