// A response body read ahead on the worker thread while the engine writes what came before: the
// engine then takes whole runs of bytes at once instead of handing every few kilobytes WinHTTP
// reports over to the worker and back.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <winhttp.h>

#include <cstddef>
#include <mutex>
#include <vector>

namespace platform {

class HttpReadAhead {
  public:
    // At most this much is read ahead of the engine.
    static constexpr std::size_t kAheadBytes = 4u << 20;
    // A waiting engine is woken once this much is there (or at the end, or on a failure);
    // it looks for fewer bytes every kLookMs.
    static constexpr std::size_t kWakeBytes = 256u << 10;
    static constexpr DWORD kLookMs = 10;

    explicit HttpReadAhead(HINTERNET request);
    ~HttpReadAhead();
    HttpReadAhead(const HttpReadAhead&) = delete;
    HttpReadAhead& operator=(const HttpReadAhead&) = delete;

    // On the worker: reads until the body ends or fails, or until stop.
    BOOL run();
    // Tells run to end once its WinHTTP call returns (closing the request ends a call that waits).
    void stop();

    // Set when a run of bytes arrived for a waiting engine, the body ended or reading failed.
    HANDLE arrived() const { return arrived_; }
    // Whether there is anything to take or tell: bytes, the end or a failure.
    bool settled();
    // Bytes read ahead and not taken yet.
    std::size_t unread();
    // Up to size bytes into buffer; 0 when none are left.
    std::size_t take(void* buffer, std::size_t size);
    // Once nothing is left to take: ERROR_SUCCESS at the body's end, else WinHTTP's error.
    DWORD failure();
    // Whether run has returned (or is about to): the worker is free for other calls.
    bool finished();

  private:
    std::size_t unreadLocked() const { return bytes_.size() - start_; }
    BOOL finishedLocked(BOOL result) {
        finished_ = true;
        return result;
    }

    HINTERNET request_;
    HANDLE arrived_;
    HANDLE room_;  // set when the engine took bytes
    std::mutex mutex_;
    std::vector<char> bytes_;  // unread from start_ on
    std::size_t start_ = 0;
    bool ended_ = false;
    bool stopping_ = false;
    bool finished_ = false;
    bool engineWaits_ = false;  // for arrived_
    bool workerWaits_ = false;  // for room_
    DWORD error_ = ERROR_SUCCESS;
};

}  // namespace platform
