// The process-wide values of the downloader: the proxy settings that the command line and the
// settings window write, and the run flags that the main window and the run share.
#pragma once

#include <cstdint>
#include <string>

enum ProxyMode : std::int32_t { pmNone = 0, pmSystem = 1, pmManual = 2, pmAuto = 3 };

struct TProxySettings {
    std::u16string host;
    std::int32_t port = 3128;
    std::int32_t mode = pmSystem;
    std::u16string login;
    std::u16string password;
};

extern TProxySettings ProxySettings;

// Set by the stop button, cleared at the start of every run; read by the run's loops.
extern bool StopRequested;
// The installed product started us with arguments: hand the installer to its monitor service.
extern bool UpdateMode;
// Port of the product's monitor service on 127.0.0.1.
extern std::int32_t MonitorPort;

constexpr std::int32_t kDefaultMonitorPort = 48754;
