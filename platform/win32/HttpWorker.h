// One worker thread for WinHTTP's blocking calls, so the window's thread can wait in short slices
// and keep answering while the network is slow.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

namespace platform {

struct HttpWorkerState;

class HttpWorker {
  public:
    // The longest the calling thread waits before asking whether to go on waiting.
    static constexpr DWORD kSliceMs = 50;
    // How long an abandoned call gets to return once its handle is closed (WinHTTP cancels a
    // call whose handle closes). A worker still in it is left to finish on its own and a new one
    // takes its place: Wine's WinHTTP goes on waiting for the server.
    static constexpr DWORD kAbandonGraceMs = 100;

    HttpWorker() = default;
    ~HttpWorker();
    HttpWorker(const HttpWorker&) = delete;
    HttpWorker& operator=(const HttpWorker&) = delete;

    // Runs call on the worker and returns its result, with the worker's last error made this
    // thread's. While it runs, keepWaiting is asked after each slice (and as soon as a message
    // arrives for this thread); once it says no, abandon must make the call return (by closing
    // the handle it works on), and the result is false with ERROR_WINHTTP_OPERATION_CANCELLED.
    // Whatever call captures must be its own (copies, shared pointers): an abandoned call that
    // does not return may outlive this object. A call that cannot be handed over (the worker is
    // busy, or no thread starts) simply runs here.
    bool run(std::function<BOOL()> call, const std::function<bool()>& keepWaiting,
             const std::function<void()>& abandon);

    // Whether a call can be posted now.
    bool idle();
    // Hands call over without waiting for it; only when idle.
    void post(std::function<BOOL()> call);
    // Waits for the posted call to return, at most kAbandonGraceMs, then the worker is idle
    // again (a call still running is left to finish on its own).
    void release();

    // Waits until event is set or, looked at after each slice, enough says so (true), asking
    // keepWaiting after each slice and whenever a message arrives; false as soon as keepWaiting
    // says no or fails.
    static bool waitFor(HANDLE event, const std::function<bool()>& keepWaiting,
                        DWORD sliceMs = kSliceMs, const std::function<bool()>& enough = nullptr);

  private:
    bool start();
    void letGo();

    std::shared_ptr<HttpWorkerState> state_;
    bool busy_ = false;
};

}  // namespace platform
