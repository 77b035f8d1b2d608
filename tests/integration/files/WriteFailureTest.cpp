// A file the system refuses to let grow (with-file-size-limit.sh sets 32 MiB): every way of saving,
// a part file received piece by piece too, must fail with the system's own reason (never the text
// of success) and leave nothing behind, because a truncated installer must never look like a
// download.
#include <gmock/gmock.h>

#include "common/Text.h"
#include "net/SysErrorText.h"
#include "platform/Crypto.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "run/PartFile.h"

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
        EXPECT_FALSE(errorText.empty()) << "fresh " << fresh;
        EXPECT_THAT(text::toUtf8(errorText), testing::Not(testing::HasSubstr("success")))
            << "fresh " << fresh;
        EXPECT_FALSE(exists(*files, path)) << text::toUtf8(path);
    }
}

TEST(WriteFailure, aPartFileThatCannotGrowFailsWithTheRealReasonAndIsRemoved) {
    const auto crypto = platform::createNativeCrypto();
    platform::Crypto* const previous = platform::install(crypto.get());
    auto& files = platform::get<platform::Files>();
    const std::u16string folder = files.temporaryFolder();
    const std::string piece(1024 * 1024, 'x');
    int error = 0;
    {
        PartFile part(folder, u"http://write-failure.test/setup.exe");
        std::u16string errorText;
        ASSERT_TRUE(part.open(errorText)) << text::toUtf8(errorText);
        part.resumableAs(ResumeState{64u << 20, true, u"\"v1\""});
        for (int i = 0; i < 40 && part.append(piece.data(), piece.size(), error); ++i) {
        }
        EXPECT_NE(error, 0);
        EXPECT_THAT(text::toUtf8(SysErrorText(error)), testing::Not(testing::HasSubstr("uccess")));
    }
    EXPECT_TRUE(files.list(folder, PartFile::kMask).empty());
    platform::install(previous);
}

}  // namespace
