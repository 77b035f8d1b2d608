// A file the system refuses to let grow (with-file-size-limit.sh sets 32 MiB): every way of saving,
// a part file received piece by piece too, must fail with the system's own reason (never the text
// of success) and leave nothing behind, because a truncated installer must never look like a
// download.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/Text.h"
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
    const std::u16string path = folder + u"write-failure.bin";
    std::u16string errorText;
    EXPECT_FALSE(files->writeWhole(path, bytes, errorText));
    // The system's words for a file grown past its limit (set by the build per target).
    EXPECT_EQ(text::toUtf8(errorText), ORVELLE_FILE_TOO_LARGE_TEXT);
    EXPECT_FALSE(exists(*files, path)) << text::toUtf8(path);
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
        EXPECT_EQ(error, ORVELLE_FILE_TOO_LARGE_CODE);  // the system's own reason
    }
    EXPECT_TRUE(files.list(folder, PartFile::kMask).empty());
    platform::install(previous);
}

std::string contents(platform::Files& files, const std::u16string& path) {
    int error = 0;
    const platform::Files::Handle handle = files.openRead(path, false, error);
    std::string bytes(64, '\0');
    const int size =
        handle == platform::Files::kInvalid ? 0 : files.read(handle, bytes.data(), 64, error);
    files.close(handle);
    bytes.resize(static_cast<std::size_t>(std::max(size, 0)));
    return bytes;
}

// A part file is only ever new, is read back from its start when reopened and then appended to,
// fails a write past the limit with the system's error, and takes the final name over an older
// file; listing sees it, removing it leaves nothing.
TEST(WriteFailure, aPartFileIsCreatedNewReopenedAppendedToRenamedListedAndRemoved) {
    using Files = platform::Files;
    const auto files = platform::createNativeFiles();
    const std::u16string folder = files->temporaryFolder();
    ASSERT_FALSE(folder.empty());
    const std::u16string part = folder + u"part-test.part", named = folder + u"part-test.bin";
    files->remove(part);
    int error = 0;
    Files::Handle file = files->createPart(part, error);
    ASSERT_NE(file, Files::kInvalid) << error;
    EXPECT_TRUE(files->write(file, "stale", 5, error));
    EXPECT_EQ(files->createPart(part, error), Files::kInvalid);
    EXPECT_TRUE(files->truncate(file, error));
    EXPECT_TRUE(files->write(file, "fresh", 5, error));
    files->close(file);

    file = files->reopenPart(part, error);
    ASSERT_NE(file, Files::kInvalid) << error;
    char start[8] = {};
    EXPECT_EQ(files->read(file, start, sizeof start, error), 5);
    EXPECT_TRUE(files->write(file, "!", 1, error));
    const std::string tooBig(40 * 1024 * 1024, 'x');
    error = 0;
    EXPECT_FALSE(files->write(file, tooBig.data(), tooBig.size(), error));
    EXPECT_NE(error, 0);
    files->close(file);
    EXPECT_EQ(files->reopenPart(folder.substr(0, folder.size() - 1), error), Files::kInvalid);

    std::u16string errorText;
    ASSERT_TRUE(files->writeWhole(named, "older", errorText));
    EXPECT_TRUE(files->rename(part, named, error)) << error;
    EXPECT_EQ(contents(*files, named).substr(0, 6), "fresh!");
    const std::vector<Files::Entry> listed = files->list(folder, u"part-test*");
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, u"part-test.bin");
    EXPECT_TRUE(listed[0].ageSeconds >= 0 && listed[0].ageSeconds < 3600) << listed[0].ageSeconds;
    EXPECT_TRUE(files->remove(named));
    EXPECT_FALSE(files->remove(named));
    EXPECT_TRUE(files->list(folder, u"part-test*").empty());
}

}  // namespace
