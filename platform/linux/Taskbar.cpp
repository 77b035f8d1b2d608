// Linux: the taskbar progress as the launcher-entry signal on the session bus (see Taskbar.h for
// how each taskbar state maps onto the signal's properties).
#include "platform/Taskbar.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>
#include <algorithm>

#include "platform/linux/ToolkitQt.h"

namespace platform {
namespace {

constexpr char kApplicationUri[] = "application://orvelle-downloader.desktop";
constexpr char kObjectPath[] = "/com/canonical/unity/launcherentry/orvelle_downloader";
constexpr char kInterface[] = "com.canonical.Unity.LauncherEntry";

class LauncherEntryObject final : public TaskbarObject {
  public:
    explicit LauncherEntryObject(bool busPresent) : busPresent_(busPresent) {}

    bool hasTaskbarList2() override { return true; }
    bool hasTaskbarList3() override { return busPresent_; }

    HResult HrInit() override { return S_OK_RESULT; }
    HResult AddTab(WindowHandle) override { return S_OK_RESULT; }
    HResult DeleteTab(WindowHandle) override { return S_OK_RESULT; }
    HResult ActivateTab(WindowHandle) override { return S_OK_RESULT; }
    HResult SetActiveAlt(WindowHandle) override { return S_OK_RESULT; }
    HResult MarkFullscreenWindow(WindowHandle, bool) override { return S_OK_RESULT; }

    HResult SetProgressValue(WindowHandle, std::uint64_t completed, std::uint64_t total) override {
        if (state_ == TBPF_NOPROGRESS || state_ == TBPF_INDETERMINATE) state_ = TBPF_NORMAL;
        progress_ =
            total == 0
                ? 0.0
                : std::clamp(static_cast<double>(completed) / static_cast<double>(total), 0.0, 1.0);
        return publish();
    }

    HResult SetProgressState(WindowHandle, int flags) override {
        state_ = flags;
        return publish();
    }

  private:
    HResult publish() {
        constexpr HResult kNotConnected = static_cast<HResult>(0x80070015);  // device not ready
        if (!busPresent_) return kNotConnected;
        const bool visible = state_ == TBPF_NORMAL || state_ == TBPF_ERROR || state_ == TBPF_PAUSED;
        QVariantMap properties;
        properties.insert(QStringLiteral("progress"), progress_);
        properties.insert(QStringLiteral("progress-visible"), visible);
        properties.insert(QStringLiteral("urgent"), state_ == TBPF_ERROR);
        QDBusMessage signal =
            QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                       QString::fromLatin1(kInterface), QStringLiteral("Update"));
        signal << QString::fromLatin1(kApplicationUri) << properties;
        return QDBusConnection::sessionBus().send(signal) ? S_OK_RESULT : kNotConnected;
    }

    bool busPresent_;
    int state_ = TBPF_NOPROGRESS;
    double progress_ = 0.0;
};

class LinuxTaskbar final : public Taskbar {
  public:
    TaskbarCreation createTaskbarList() override {
        qt::ensureApplication();
        TaskbarCreation creation;
        creation.object =
            std::make_unique<LauncherEntryObject>(QDBusConnection::sessionBus().isConnected());
        return creation;
    }
};

}  // namespace

std::unique_ptr<Taskbar> createNativeTaskbar() {
    return std::make_unique<LinuxTaskbar>();
}

}  // namespace platform
