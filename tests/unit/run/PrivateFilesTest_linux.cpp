// Linux: the run's files live in a folder on disk only the user can reach, and nothing planted by
// someone else (a link, a folder or a file under our names) is written through or started.
// Another user's ownership is made with chown, so those cases need root.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "RunTestSupport.h"
#include "common/Text.h"
#include "run/Run.h"

namespace {

namespace fs = std::filesystem;
constexpr uid_t kSomeoneElse = 4242;

class PrivateFiles : public runtest::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        for (const char* name : {"XDG_CACHE_HOME", "HOME", "TMPDIR"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
        // Without a cache folder the shared temporary folder's rules apply.
        ::unsetenv("XDG_CACHE_HOME");
        ::unsetenv("HOME");
        tmp = root / "tmp";
        fs::create_directory(tmp);
        ::setenv("TMPDIR", tmp.c_str(), 1);
        own = tmp / ("orvelle-" + std::to_string(::geteuid()));
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        RunTest::TearDown();
    }

    static std::string temporaryFolder() {
        return text::toUtf8(platform::createNativeFiles()->temporaryFolder());
    }
    static struct stat statOf(const fs::path& path) {
        struct stat info {};
        EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
        return info;
    }
    static bool someoneElseCanBeMade() { return ::geteuid() == 0; }

    fs::path tmp;
    fs::path own;

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// (A folder of another user under our name is tried by the whole run, further down.)
TEST_F(PrivateFiles, TheTemporaryFolderIsTheUsersAloneAndNeverALinkToOne) {
    // The user's cache folder (made when missing) holds a private folder of ours; under HOME
    // when the cache has no variable of its own.
    const fs::path cache = root / "cache";
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    EXPECT_EQ(temporaryFolder(), (cache / "orvelle").string() + "/");
    EXPECT_EQ(statOf(cache / "orvelle").st_mode & 07777, 0700u);
    ::unsetenv("XDG_CACHE_HOME");
    ::setenv("HOME", root.c_str(), 1);
    EXPECT_EQ(temporaryFolder(), (root / ".cache" / "orvelle").string() + "/");
    // A link in place of our cache folder is never used.
    const fs::path runtime = root / "runtime";
    fs::create_directory(runtime);
    fs::remove(root / ".cache" / "orvelle");
    fs::create_symlink(runtime, root / ".cache" / "orvelle");
    EXPECT_EQ(temporaryFolder(), own.string() + "/");
    EXPECT_EQ(statOf(own).st_mode & 07777, 0700u);
    ::unsetenv("HOME");

    // Our own folder that was opened up is closed again before use.
    ::chmod(own.c_str(), 0777);
    EXPECT_EQ(temporaryFolder(), own.string() + "/");
    EXPECT_EQ(statOf(own).st_mode & 07777, 0700u);

    // A link in its place, even to a private folder of ours, is passed over for a new folder.
    fs::remove(own);
    fs::create_symlink(runtime, own);
    ::chmod(runtime.c_str(), 0700);
    const std::string instead = temporaryFolder();
    EXPECT_TRUE(instead.starts_with(own.string() + "-")) << instead;
    EXPECT_EQ(statOf(instead).st_uid, ::geteuid());
    EXPECT_EQ(statOf(instead).st_mode & 07777, 0700u);

    // Beneath a folder others may write to, a private runtime folder or TMPDIR gives way to /tmp.
    fs::create_directories(root / "open" / "runtime");
    ::chmod((root / "open" / "runtime").c_str(), 0700);
    ::chmod((root / "open").c_str(), 0777);
    ::setenv("XDG_RUNTIME_DIR", (root / "open" / "runtime").c_str(), 1);
    ::setenv("TMPDIR", (root / "open").c_str(), 1);
    const std::string fallback = temporaryFolder();
    EXPECT_TRUE(fallback.starts_with("/tmp/orvelle-" + std::to_string(::geteuid()))) << fallback;
}

TEST_F(PrivateFiles, APartFileIsNeverWrittenThroughALinkOrIntoAFileThatIsThere) {
    using platform::Files;
    auto native = platform::createNativeFiles();
    const fs::path victim = root / "victim.txt";
    writeFile(victim.u16string(), "precious");
    const fs::path link = tmp / "ORVL_Partial_link";
    fs::create_symlink(victim, link);
    int error = 0;
    EXPECT_EQ(native->createPart(link.u16string(), error), Files::kInvalid);
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(readFile(victim.u16string()), "precious");
    // A link to where nothing is yet must not create its target either.
    const fs::path dangling = tmp / "ORVL_Partial_dangling";
    fs::create_symlink(root / "created.txt", dangling);
    EXPECT_EQ(native->createPart(dangling.u16string(), error), Files::kInvalid);
    EXPECT_FALSE(exists((root / "created.txt").u16string()));

    EXPECT_EQ(native->createPart(victim.u16string(), error), Files::kInvalid);
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(readFile(victim.u16string()), "precious");

    const fs::path fresh = tmp / "ORVL_Partial_fresh";
    const Files::Handle file = native->createPart(fresh.u16string(), error);
    ASSERT_NE(file, Files::kInvalid) << error;
    EXPECT_TRUE(native->write(file, "bytes", 5, error));
    native->close(file);
    EXPECT_EQ(readFile(fresh.u16string()), "bytes");
    EXPECT_EQ(statOf(fresh).st_mode & 07777, 0600u);
}

TEST_F(PrivateFiles, ARunNeitherOverwritesAPlantedLinkNorStartsSomeoneElsesFile) {
    if (!someoneElseCanBeMade()) GTEST_SKIP() << "chown to another user needs root";
    // What another user can plant in the shared temporary folder: a link under the old fixed
    // name, and our private folder's name taken, holding an installer of theirs.
    const fs::path victim = root / "victim.txt";
    writeFile(victim.u16string(), "precious");
    fs::create_symlink(victim, tmp / "ORVL_Downloader.exe");
    fs::create_directory(own);
    writeFile((own / "ORVL_Downloader.exe").u16string(), "their program");
    ASSERT_EQ(::chown((own / "ORVL_Downloader.exe").c_str(), kSomeoneElse, kSomeoneElse), 0);
    ASSERT_EQ(::chown(own.c_str(), kSomeoneElse, kSomeoneElse), 0);

    files->temp = platform::createNativeFiles()->temporaryFolder();
    system->environment[u"ORVELLE_UPDATE_HOST"] = u"update.test";
    auto& http = runtest::scriptedHttp();
    http.answers[u"https://update.test/update/ver.txt"].body = "1=https://files.test/setup.exe";
    http.answers[u"https://files.test/setup.exe"].body = "our installer";
    RunDownload(window);

    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(readFile(victim.u16string()), "precious");
    EXPECT_EQ(readFile((own / "ORVL_Downloader.exe").u16string()), "their program");
    ASSERT_EQ(processes.started.size(), 1u);
    const std::u16string installer = processes.started[0].program;
    EXPECT_TRUE(installer.starts_with(own.u16string() + u"-")) << text::toUtf8(installer);
    EXPECT_EQ(readFile(installer), "our installer");
    EXPECT_EQ(statOf(fs::path(installer).parent_path()).st_mode & 07777, 0700u);
}

}  // namespace
