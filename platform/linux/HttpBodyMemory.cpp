#include "platform/linux/HttpBodyMemory.h"

#include <sys/mman.h>

#include <algorithm>
#include <system_error>

namespace platform::linux_http {
namespace {

// Only the 2 MiB-aligned interior can be huge pages: a 1 GiB body then costs 512 page faults
// instead of 262 144.
constexpr std::uintptr_t kHugePage = 2u << 20;
// Steps keep finish() prompt.
constexpr std::uintptr_t kStep = 32u << 20;

std::uintptr_t alignDown(std::uintptr_t at) {
    return at & ~(kHugePage - 1);
}

}  // namespace

void BodyMemory::prepare(void* data, std::size_t size) {
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const auto end = alignDown(begin + size);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (worker_.joinable() && !stop_ && begin == givenEnd_) {
            givenEnd_ = begin + size;
            if (end > end_) {
                madvise(reinterpret_cast<void*>(end_), end - end_, MADV_HUGEPAGE);
                end_ = end;
                more_.notify_one();
            }
            return;
        }
    }
    finish();
    const auto first = alignDown(begin + kHugePage - 1);
    std::lock_guard<std::mutex> lock(mutex_);
    givenEnd_ = begin + size;
    next_ = first;
    end_ = std::max(first, end);
    stop_ = false;
    if (end <= first) return;
    madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    try {
        worker_ = std::thread([this] { work(); });
    } catch (const std::system_error&) {
        // No thread to spare: the pages are faulted in as the data arrives.
    }
}

void BodyMemory::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        if (next_ >= end_) {
            more_.wait(lock);
            continue;
        }
        const std::uintptr_t at = next_;
        const std::uintptr_t length = std::min(kStep, end_ - at);
        lock.unlock();
        // Populating faults pages in as a write would, without touching their contents. A step
        // that fails (an old kernel, memory given back) leaves the faults to the receiver.
        const bool done = madvise(reinterpret_cast<void*>(at), length, MADV_POPULATE_WRITE) == 0;
        lock.lock();
        if (!done) break;
        next_ = at + length;
    }
}

void BodyMemory::finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        more_.notify_one();
    }
    if (worker_.joinable()) worker_.join();
}

}  // namespace platform::linux_http
