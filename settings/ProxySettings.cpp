#include "settings/ProxySettings.h"

TProxySettings ProxySettings;
bool StopRequested = false;
bool UpdateMode = false;
std::int32_t MonitorPort = kDefaultMonitorPort;
