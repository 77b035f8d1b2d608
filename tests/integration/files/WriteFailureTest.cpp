// A file the system refuses to let grow (with-file-size-limit.sh sets 32 MiB): both ways of saving
// must fail with the system's own reason (never the text of success) and leave no part behind,
// because a truncated installer must never look like a download.
#include <gtest/gtest.h>

#include "common/Text.h"
#include "platform/Files.h"

namespace {

bool exists(platform::Files& files, const std::u16string& path) {
    int error = 0;
    const platform::Files::Handle handle = files.openRead(path, false, error);
    files.close(handle);
    return handle != platform::Files::kInvalid;
}

TEST(WriteFailure, aWriteCutShortFailsWithTheRealReasonAndLeavesNoFile) {
    const auto files = platform::createNativeFiles();
    const std::u16string folder = files->temporaryFolder();
    ASSERT_FALSE(folder.empty());
    const std::string bytes(40 * 1024 * 1024, 'x');
    for (const bool fresh : {false, true}) {
        const std::u16string path =
            folder + (fresh ? u"write-failure-new.bin" : u"write-failure.bin");
        std::u16string errorText;
        const bool written = fresh ? files->writeNew(path, bytes, errorText)
                                   : files->writeWhole(path, bytes, errorText);
        EXPECT_FALSE(written) << "fresh " << fresh;
        // The system's words for a file grown past its limit (set by the build per target).
        EXPECT_EQ(text::toUtf8(errorText), ORVELLE_FILE_TOO_LARGE_TEXT) << "fresh " << fresh;
        EXPECT_FALSE(exists(*files, path)) << text::toUtf8(path);
    }
}

}  // namespace
