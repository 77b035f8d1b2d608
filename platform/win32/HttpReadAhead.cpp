#include "platform/win32/HttpReadAhead.h"

#include <algorithm>
#include <cstring>

namespace platform {

HttpReadAhead::HttpReadAhead(HINTERNET request)
    : request_(request),
      arrived_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      room_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

HttpReadAhead::~HttpReadAhead() {
    if (arrived_) CloseHandle(arrived_);
    if (room_) CloseHandle(room_);
}

BOOL HttpReadAhead::run() {
    std::vector<char> chunk;
    for (;;) {
        std::size_t room = 0;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return finishedLocked(TRUE);
            room = kAheadBytes - std::min(kAheadBytes, unreadLocked());
            workerWaits_ = room == 0;
        }
        if (room == 0) {
            WaitForSingleObject(room_, INFINITE);
            continue;
        }
        DWORD available = 0;
        DWORD read = 0;
        BOOL ok = WinHttpQueryDataAvailable(request_, &available);
        if (ok && available > 0) {
            chunk.resize(std::min<std::size_t>(available, room));
            ok = WinHttpReadData(request_, chunk.data(), static_cast<DWORD>(chunk.size()), &read);
        }
        const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        bool wake = true;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!ok) {
                error_ = error != ERROR_SUCCESS ? error : ERROR_WINHTTP_CONNECTION_ERROR;
            } else if (read == 0) {
                ended_ = true;
            } else {
                // Bytes taken are dropped once they are at least half of what is held, so no
                // byte is moved more often than once per byte taken.
                if (start_ > 0 && start_ >= bytes_.size() / 2) {
                    bytes_.erase(bytes_.begin(),
                                 bytes_.begin() + static_cast<std::ptrdiff_t>(start_));
                    start_ = 0;
                }
                bytes_.insert(bytes_.end(), chunk.data(), chunk.data() + read);
                wake = engineWaits_ && unreadLocked() >= kWakeBytes;
            }
            if (wake) engineWaits_ = false;
        }
        // Each signal costs a thread switch (and a call into Wine's server there): a waiting
        // engine is woken for a run of bytes worth it, and looks for fewer itself.
        if (wake) SetEvent(arrived_);
        if (!ok || read == 0) {
            const std::lock_guard<std::mutex> lock(mutex_);
            return finishedLocked(ok);
        }
    }
}

void HttpReadAhead::stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    SetEvent(room_);
}

bool HttpReadAhead::settled() {
    const std::lock_guard<std::mutex> lock(mutex_);
    const bool settled = unreadLocked() > 0 || ended_ || error_ != ERROR_SUCCESS;
    engineWaits_ = !settled;
    return settled;
}

std::size_t HttpReadAhead::unread() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return unreadLocked();
}

std::size_t HttpReadAhead::take(void* buffer, std::size_t size) {
    std::size_t taken = 0;
    bool wake = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        taken = std::min(size, unreadLocked());
        if (taken == 0) return 0;
        std::memcpy(buffer, bytes_.data() + start_, taken);
        start_ += taken;
        wake = workerWaits_;
        workerWaits_ = false;
    }
    if (wake) SetEvent(room_);
    return taken;
}

bool HttpReadAhead::finished() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
}

DWORD HttpReadAhead::failure() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

}  // namespace platform
