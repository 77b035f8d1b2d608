// The memory a whole response body is held in: backed by transparent huge pages and faulted in
// on a second thread while the data arrives, so the receiving thread does not stop to have each
// fresh page cleared by the kernel.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace platform::linux_http {

class BodyMemory {
  public:
    BodyMemory() = default;
    BodyMemory(const BodyMemory&) = delete;
    BodyMemory& operator=(const BodyMemory&) = delete;
    ~BodyMemory() { finish(); }

    // Prepares [data, data + size) on the second thread. A range that continues the one before
    // extends the running preparation; any other range ends it and starts anew. Never writes
    // the memory, so bytes already there stay as they are.
    void prepare(void* data, std::size_t size);

    // Ends the preparation (returns once the second thread has stopped).
    void finish();

  private:
    void work();

    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable more_;
    std::uintptr_t next_ = 0;      // the next page to fault in
    std::uintptr_t end_ = 0;       // where the prepared ranges end (huge-page aligned)
    std::uintptr_t givenEnd_ = 0;  // where the last range given ended
    bool stop_ = false;
};

}  // namespace platform::linux_http
