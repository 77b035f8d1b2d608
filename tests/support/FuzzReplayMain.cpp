// Replays a fuzz target's kept inputs as test cases in an ordinary build (with sanitizers, and
// the Windows build under Wine): each file of its corpus folder, seeds and inputs that once
// failed alike, is one case run through the target's entry point. A folder without an input is
// a failure, so a lost or misnamed corpus cannot pass as clean.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

class ReplayInput : public testing::Test {
  public:
    explicit ReplayInput(std::filesystem::path input) : input_(std::move(input)) {}

    void TestBody() override {
        std::ifstream in(input_, std::ios::binary);
        ASSERT_TRUE(in) << input_;
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        // A broken promise aborts the process, as it does under libFuzzer.
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                         bytes.size()),
                  0);
    }

  private:
    std::filesystem::path input_;
};

class EmptyCorpus : public testing::Test {
  public:
    void TestBody() override { FAIL() << "no input in " << ORVELLE_FUZZ_CORPUS; }
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    std::vector<std::filesystem::path> inputs;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(ORVELLE_FUZZ_CORPUS, error))
        if (entry.is_regular_file() && entry.path().extension() != ".md")
            inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    const char* suite = ORVELLE_FUZZ_TARGET;
    for (const auto& input : inputs) {
        const std::string name = input.filename().string();
        testing::RegisterTest(suite, name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
                              [input]() -> testing::Test* { return new ReplayInput(input); });
    }
    if (inputs.empty())
        testing::RegisterTest(suite, "corpusHasInputs", nullptr, nullptr, __FILE__, __LINE__,
                              []() -> testing::Test* { return new EmptyCorpus; });
    return RUN_ALL_TESTS();
}
