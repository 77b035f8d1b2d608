// The hint that a buffer will hold a large body: the real back end may back it with large pages
// and fault it in ahead of the data, but must never change a byte of it.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "platform/Http.h"

namespace {

constexpr std::size_t kBody = 48u << 20;

char pattern(std::size_t at) { return static_cast<char>((at * 131u) >> 7); }

TEST(NativeBodyMemory, BytesHeldAndBytesWrittenMeanwhileStayAsWritten) {
    std::vector<char> body(kBody);
    for (std::size_t at = 0; at < kBody / 2; ++at) body[at] = pattern(at);
    {
        const auto http = platform::createNativeHttp();
        http->adviseLargeBody(body.data(), body.size());
        for (std::size_t at = kBody / 2; at < kBody; ++at) body[at] = pattern(at);
        // A second body replaces the first preparation.
        std::vector<char> second(kBody / 4, 'x');
        http->adviseLargeBody(second.data(), second.size());
        EXPECT_EQ(second.front(), 'x');
        EXPECT_EQ(second.back(), 'x');
    }
    std::size_t wrong = 0;
    for (std::size_t at = 0; at < kBody; ++at) wrong += body[at] != pattern(at);
    EXPECT_EQ(wrong, 0u);
}

TEST(NativeBodyMemory, ABufferGivenBackWhilePreparedDoesNotHarmTheProcess) {
    const auto http = platform::createNativeHttp();
    {
        std::vector<char> body(kBody, 'a');
        http->adviseLargeBody(body.data(), body.size());
    }
    std::vector<char> next(kBody, 'b');
    EXPECT_EQ(next[kBody / 2], 'b');
}

}  // namespace
