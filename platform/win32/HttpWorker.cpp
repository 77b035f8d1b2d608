#include "platform/win32/HttpWorker.h"

#include <winhttp.h>

#include <atomic>

namespace platform {

// Shared by the owner and its thread, so that a worker left stuck in a call can still finish
// and clean up after its owner has gone.
struct HttpWorkerState {
    HANDLE wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::function<BOOL()> call;  // handed over before wake, taken back after done
    BOOL result = FALSE;
    DWORD error = ERROR_SUCCESS;
    std::atomic<bool> leaving{false};

    HttpWorkerState() = default;
    HttpWorkerState(const HttpWorkerState&) = delete;
    HttpWorkerState& operator=(const HttpWorkerState&) = delete;
    ~HttpWorkerState() {
        if (wake) CloseHandle(wake);
        if (done) CloseHandle(done);
    }
};

namespace {

DWORD WINAPI workerMain(void* parameter) {
    const std::unique_ptr<std::shared_ptr<HttpWorkerState>> own(
        static_cast<std::shared_ptr<HttpWorkerState>*>(parameter));
    HttpWorkerState& state = **own;
    for (;;) {
        WaitForSingleObject(state.wake, INFINITE);
        if (state.leaving) return 0;
        state.result = state.call();
        state.error = GetLastError();
        // What the call holds goes here, also when nobody waits for it any more.
        state.call = nullptr;
        SetEvent(state.done);
    }
}

}  // namespace

HttpWorker::~HttpWorker() {
    if (state_) letGo();
}

bool HttpWorker::start() {
    auto state = std::make_shared<HttpWorkerState>();
    if (!state->wake || !state->done) return false;
    auto* threadShare = new std::shared_ptr<HttpWorkerState>(state);
    const HANDLE thread = CreateThread(nullptr, 0, workerMain, threadShare, 0, nullptr);
    if (!thread) {
        delete threadShare;
        return false;
    }
    CloseHandle(thread);  // it ends by itself once let go
    state_ = std::move(state);
    return true;
}

// The thread ends as soon as it is idle; it owns its share of the state.
void HttpWorker::letGo() {
    state_->leaving = true;
    SetEvent(state_->wake);
    state_.reset();
}

bool HttpWorker::idle() {
    return !busy_ && (state_ || start());
}

void HttpWorker::post(std::function<BOOL()> call) {
    busy_ = true;
    state_->call = std::move(call);
    SetEvent(state_->wake);
}

void HttpWorker::release() {
    if (!busy_) return;
    if (WaitForSingleObject(state_->done, kAbandonGraceMs) != WAIT_OBJECT_0) letGo();
    busy_ = false;
}

bool HttpWorker::waitFor(HANDLE event, const std::function<bool()>& keepWaiting, DWORD sliceMs,
                         const std::function<bool()>& enough) {
    for (;;) {
        if (MsgWaitForMultipleObjectsEx(1, &event, sliceMs, QS_ALLINPUT, 0) == WAIT_OBJECT_0)
            return true;
        if (enough && enough()) return true;
        try {
            if (!keepWaiting()) return false;
        } catch (...) {
            // Nothing may unwind through the back end; a failing hook ends the wait.
            return false;
        }
    }
}

bool HttpWorker::run(std::function<BOOL()> call, const std::function<bool()>& keepWaiting,
                     const std::function<void()>& abandon) {
    // A call made from inside the wait (the hook pumping messages) blocks, as WinHTTP's do.
    if (!idle()) return call() != FALSE;
    post(std::move(call));
    if (waitFor(state_->done, keepWaiting)) {
        busy_ = false;
        SetLastError(state_->error);
        return state_->result != FALSE;
    }
    abandon();
    release();
    SetLastError(ERROR_WINHTTP_OPERATION_CANCELLED);
    return false;
}

}  // namespace platform
