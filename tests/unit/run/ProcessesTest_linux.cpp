// Linux: the program a command line names gets the arguments a Windows program would get from
// it. The test adopts the started programs (child subreaper), so it reaps each one and reads
// what it wrote only after it has ended.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "RunTestSupport.h"
#include "platform/Processes.h"

namespace {

class NativeProcesses : public runtest::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
        // The folder's name holds blanks, as C:\Program Files would.
        script = root / "the monitor.sh";
        std::ofstream(script)
            << "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done "
               ">> \"$(dirname \"$0\")/out.txt\"\necho >> \"$(dirname \"$0\")/out.txt\"\n";
        ::chmod(script.c_str(), 0700);
    }
    void TearDown() override {
        ::prctl(PR_SET_CHILD_SUBREAPER, 0);
        RunTest::TearDown();
    }

    // Starts, then reaps the program (the back end has already reaped its own child).
    std::string started(const std::u16string& program, const std::u16string& arguments,
                        bool quoteProgram) {
        auto native = platform::createNativeProcesses();
        int error = 0;
        EXPECT_TRUE(native->start(program, arguments, folder(), quoteProgram, error)) << error;
        int status = 0;
        EXPECT_GT(::waitpid(-1, &status, 0), 0);
        std::string lastLine;
        std::ifstream in(root / "out.txt");
        for (std::string line; std::getline(in, line);) lastLine = line;
        return lastLine;
    }

    std::filesystem::path script;
};

TEST_F(NativeProcesses, EachPartOfTheCommandLineArrivesAsOneArgument) {
    const std::u16string path = script.u16string();
    // The installer: its path is one word whatever it holds; values quoted by the rules.
    EXPECT_EQ(started(path, u" /proxy=1 /ppass=\"my \\\"pass\\\"\" /SILENT", true),
              "[/proxy=1][/ppass=my \"pass\"][/SILENT]");
    // The monitor's whole command line: quoted program, or unquoted with blanks in its path
    // (the shortest text up to a blank that names a file, as CreateProcess reads it).
    EXPECT_EQ(started(u"\"" + path + u"\" /from=update \"/note=a b\"", u"", false),
              "[/from=update][/note=a b]");
    EXPECT_EQ(started(path + u" /a \"b c\"", u"", false), "[/a][b c]");
    EXPECT_EQ(started(path, u"", false), "");
}

}  // namespace
