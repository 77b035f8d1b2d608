// The memory a whole response body is held in: backed by transparent huge pages and faulted in
// on a second thread while the data arrives, so the receiving thread does not stop to have each
// fresh page cleared by the kernel.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

namespace platform::linux_http {

class BodyMemory {
  public:
    BodyMemory() = default;
    BodyMemory(const BodyMemory&) = delete;
    BodyMemory& operator=(const BodyMemory&) = delete;
    ~BodyMemory() { finish(); }

    // Starts preparing [data, data + size). A preparation still running is completed first
    // when this range continues it, else ended. Never writes the memory, so bytes already
    // there stay as they are.
    void prepare(void* data, std::size_t size);

    // Ends the preparation (returns once the second thread has stopped).
    void finish();

  private:
    std::thread worker_;
    std::atomic<bool> stop_{false};
    void* preparedEnd_ = nullptr;
};

}  // namespace platform::linux_http
