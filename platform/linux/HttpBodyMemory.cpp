#include "platform/linux/HttpBodyMemory.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <system_error>

namespace platform::linux_http {

void BodyMemory::prepare(void* data, std::size_t size) {
    // The next window of the same body waits for the one before it (the data has not reached
    // that one's end yet); anything else is a new body and ends the old preparation.
    if (data != preparedEnd_) stop_ = true;
    if (worker_.joinable()) worker_.join();
    preparedEnd_ = static_cast<char*>(data) + size;
    // Only the 2 MiB-aligned interior can be huge pages: a 1 GiB body then costs 512 page
    // faults instead of 262 144.
    constexpr std::uintptr_t kHugePage = 2u << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(kHugePage - 1);
    if (end <= begin) return;
    madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    stop_ = false;
    try {
        worker_ = std::thread([this, begin, end] {
            // Populating faults pages in as a write would, without touching their contents.
            // Steps keep finish() prompt; a step that fails (an old kernel, memory given back)
            // only leaves the faults to the receiving thread.
            constexpr std::uintptr_t kStep = 32u << 20;
            for (auto at = begin; at < end && !stop_; at += kStep)
                if (madvise(reinterpret_cast<void*>(at), std::min(kStep, end - at),
                            MADV_POPULATE_WRITE) != 0)
                    break;
        });
    } catch (const std::system_error&) {
        // No thread to spare: the pages are faulted in as the data arrives.
    }
}

void BodyMemory::finish() {
    stop_ = true;
    if (worker_.joinable()) worker_.join();
}

}  // namespace platform::linux_http
