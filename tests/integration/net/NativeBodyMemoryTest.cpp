// The hint that a buffer will hold a large body: the real back end may back it with large pages
// and fault it in ahead of the data, but must never change a byte of it.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "platform/Http.h"

namespace {

constexpr std::size_t kBody = 48u << 20;

char pattern(std::size_t at) {
    return static_cast<char>((at * 131u) >> 7);
}

TEST(NativeBodyMemory, BytesHeldAndBytesWrittenMeanwhileStayAsWritten) {
    std::vector<char> body(kBody);
    for (std::size_t at = 0; at < kBody / 2; ++at) body[at] = pattern(at);
    {
        const auto http = platform::createNativeHttp();
        // In two stretches, as the engine hands over a growing body.
        http->adviseLargeBody(body.data(), body.size() / 4);
        http->adviseLargeBody(body.data() + body.size() / 4, body.size() - body.size() / 4);
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

TEST(NativeBodyMemory, MemoryReusedAfterABufferWasGivenBackMidPreparationStaysAsWritten) {
    std::vector<char> next;
    {
        const auto http = platform::createNativeHttp();
        {
            std::vector<char> body(kBody, 'a');
            http->adviseLargeBody(body.data(), body.size());
        }
        // Likely the same pages, written while the preparation of the old buffer may still run.
        next.resize(kBody);
        for (std::size_t at = 0; at < kBody; ++at) next[at] = pattern(at);
    }  // the back end has ended every preparation here
    std::size_t wrong = 0;
    for (std::size_t at = 0; at < kBody; ++at) wrong += next[at] != pattern(at);
    EXPECT_EQ(wrong, 0u);
}

}  // namespace
