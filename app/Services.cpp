// The real platform services, installed one by one at start-up from the back end's factories.
#include "app/Services.h"

#include "platform/CommonControls.h"
#include "platform/Crypto.h"
#include "platform/Files.h"
#include "platform/Http.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/Sockets.h"
#include "platform/System.h"
#include "platform/Taskbar.h"
#include "platform/Toolkit.h"
#include "platform/UserState.h"
#include "platform/Widgets.h"

namespace {

template <class Service>
class Installed {
  public:
    explicit Installed(std::unique_ptr<Service> service) : service_(std::move(service)) {
        platform::install(service_.get());
    }
    ~Installed() { platform::install<Service>(nullptr); }
    Installed(const Installed&) = delete;
    Installed& operator=(const Installed&) = delete;

  private:
    std::unique_ptr<Service> service_;
};

// Members are installed in this order and removed in the reverse one.
class OwnServices final : public InstalledServices {
    Installed<platform::System> system_{platform::createNativeSystem()};
    Installed<platform::Files> files_{platform::createNativeFiles()};
    Installed<platform::Sockets> sockets_{platform::createNativeSockets()};
    Installed<platform::Http> http_{platform::createNativeHttp()};
    Installed<platform::Processes> processes_{platform::createNativeProcesses()};
    Installed<platform::Crypto> crypto_{platform::createNativeCrypto()};
    Installed<platform::UserState> userState_{platform::createNativeUserState()};
    Installed<platform::Toolkit> toolkit_{platform::createNativeToolkit()};
    Installed<platform::CommonControls> controls_{platform::createNativeCommonControls()};
    Installed<platform::Taskbar> taskbar_{platform::createNativeTaskbar()};
    Installed<platform::Widgets> widgets_{platform::createNativeWidgets()};
};

}  // namespace

std::unique_ptr<InstalledServices> InstallServices() {
    return std::make_unique<OwnServices>();
}

void SetApplicationWindow(platform::WindowHandle window) {
    platform::get<platform::Taskbar>().setApplicationWindow(window);
}
