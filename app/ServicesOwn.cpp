// The services installed one by one, for builds whose platform has no installNativePlatform.
#include <vector>

#include "app/Services.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/Sockets.h"
#include "platform/System.h"
#include "platform/Toolkit.h"
#include "platform/Widgets.h"

namespace {

class OwnServices final : public InstalledServices {
public:
    OwnServices()
        : system_(platform::createNativeSystem()),
          files_(platform::createNativeFiles()),
          sockets_(platform::createNativeSockets()),
          toolkit_(platform::createNativeToolkit()),
          widgets_(platform::createNativeWidgets()) {
        platform::install(system_.get());
        platform::install(files_.get());
        platform::install(sockets_.get());
        platform::install(toolkit_.get());
        platform::install(widgets_.get());
    }
    ~OwnServices() override {
        platform::install<platform::Widgets>(nullptr);
        platform::install<platform::Toolkit>(nullptr);
        platform::install<platform::Sockets>(nullptr);
        platform::install<platform::Files>(nullptr);
        platform::install<platform::System>(nullptr);
    }

private:
    std::unique_ptr<platform::System> system_;
    std::unique_ptr<platform::Files> files_;
    std::unique_ptr<platform::Sockets> sockets_;
    std::unique_ptr<platform::Toolkit> toolkit_;
    std::unique_ptr<platform::Widgets> widgets_;
};

}  // namespace

std::unique_ptr<InstalledServices> InstallServices() { return std::make_unique<OwnServices>(); }

void SetApplicationWindow(platform::WindowHandle) {}
