// Linux: the application-wide toolkit on Qt 6 Widgets. A posted message is a custom QEvent
// delivered through an event filter to the target window's WindowMessageHandler; registered
// message numbers are handed out from 0xC000 up, as Windows does.
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QStyle>
#include <exception>
#include <map>
#include <unordered_map>

#include "common/Text.h"
#include "platform/Toolkit.h"
#include "platform/linux/ToolkitQt.h"

namespace platform {
namespace qt {
namespace {

constexpr std::uint32_t kFirstRegisteredMessage = 0xC000;
constexpr std::uint32_t kLastRegisteredMessage = 0xFFFF;

bool isRegisteredMessage(std::uint32_t message) {
    return message >= kFirstRegisteredMessage && message <= kLastRegisteredMessage;
}

QEvent::Type windowMessageEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class WindowMessageEvent final : public QEvent {
  public:
    WindowMessageEvent(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
        : QEvent(windowMessageEventType()), message(message), wParam(wParam), lParam(lParam) {}
    const std::uint32_t message;
    const std::uintptr_t wParam;
    const std::intptr_t lParam;
};

struct WindowEntry {
    WindowMessageHandler* handler = nullptr;
    MessageAnswer answer;
};

std::unordered_map<const QObject*, WindowEntry>& windows() {
    static std::unordered_map<const QObject*, WindowEntry> all;
    return all;
}

// Qt does not let an exception pass through its event delivery: an error raised by a handler is
// reported here, as the toolkit's top-level handler does, with the application title as caption.
void deliver(WindowMessageHandler* handler, std::uint32_t message, std::uintptr_t wParam,
             std::intptr_t lParam) {
    try {
        handler->handleWindowMessage(message, wParam, lParam);
    } catch (const std::exception& error) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Orvelle Downloader"),
                        QString::fromUtf8(error.what()), QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
}

// A mouse event as the Windows message the handler expects; 0 for buttons Windows has none of.
std::uint32_t mouseMessage(const QMouseEvent& event) {
    if (event.type() == QEvent::MouseMove) return input::kMouseMove;
    const bool down = event.type() == QEvent::MouseButtonPress;
    switch (event.button()) {
        case Qt::LeftButton:
            return down ? input::kLeftButtonDown : input::kLeftButtonUp;
        case Qt::RightButton:
            return down ? input::kRightButtonDown : input::kRightButtonUp;
        case Qt::MiddleButton:
            return down ? input::kMiddleButtonDown : input::kMiddleButtonUp;
        default:
            return 0;
    }
}

void deliverMouse(WindowMessageHandler* handler, const QMouseEvent& event) {
    const std::uint32_t message = mouseMessage(event);
    if (message == 0) return;
    const Qt::MouseButtons held = event.buttons();
    std::uintptr_t keys = 0;
    if (held & Qt::LeftButton) keys |= input::kLeftButtonHeld;
    if (held & Qt::RightButton) keys |= input::kRightButtonHeld;
    if (held & Qt::MiddleButton) keys |= input::kMiddleButtonHeld;
    if (event.modifiers() & Qt::ShiftModifier) keys |= input::kShiftHeld;
    if (event.modifiers() & Qt::ControlModifier) keys |= input::kControlHeld;
    const QPoint at = event.position().toPoint();
    const auto position = static_cast<std::intptr_t>((static_cast<std::uint32_t>(at.y()) & 0xFFFF)
                                                         << 16 |
                                                     (static_cast<std::uint32_t>(at.x()) & 0xFFFF));
    deliver(handler, message, keys, position);
}

// Hands posted window messages to the handler of the widget they were posted to, and the
// widget's own focus and mouse events as the Windows messages they stand for.
class MessageRouter final : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != windowMessageEventType()) {
            const auto found = windows().find(watched);
            if (found == windows().end() || !found->second.handler)
                return QObject::eventFilter(watched, event);
            // A handler may destroy its own window (a property change makes a new one); Qt
            // must then not deliver the event any further.
            const QPointer<QObject> alive(watched);
            switch (event->type()) {
                case QEvent::FocusIn:
                    deliver(found->second.handler, input::kSetFocus, 0, 0);
                    break;
                case QEvent::FocusOut:
                    deliver(found->second.handler, input::kKillFocus, 0, 0);
                    break;
                case QEvent::MouseButtonPress:
                case QEvent::MouseButtonRelease:
                case QEvent::MouseMove:
                    deliverMouse(found->second.handler, *static_cast<QMouseEvent*>(event));
                    break;
                default:
                    break;
            }
            if (!alive) return true;
            return QObject::eventFilter(watched, event);  // the widget still sees the event
        }
        const auto found = windows().find(watched);
        if (found != windows().end() && found->second.handler) {
            const auto* message = static_cast<WindowMessageEvent*>(event);
            deliver(found->second.handler, message->message, message->wParam, message->lParam);
        }
        return true;
    }
};

MessageRouter& router() {
    static MessageRouter instance;
    return instance;
}

}  // namespace

void ensureApplication() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "orvelle-downloader";
    static char* argv[] = {name, nullptr};
    // Never destroyed: at exit the static destructors of Qt's own libraries may already have
    // run, and tearing the application down after them crashes.
    new QApplication(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvelle Downloader"));
    QApplication::setDesktopFileName(QStringLiteral("orvelle-downloader"));
    // The program decides when it ends (closing the main window ends the loop explicitly).
    QApplication::setQuitOnLastWindowClosed(false);
}

QWidget* widgetOf(WindowHandle handle) {
    const auto found = windows().find(reinterpret_cast<const QObject*>(handle));
    if (found == windows().end()) return nullptr;
    return static_cast<QWidget*>(const_cast<QObject*>(found->first));
}

void registerWindow(QWidget* widget, WindowMessageHandler* handler, MessageAnswer answer) {
    const bool known = windows().count(widget) != 0;
    windows()[widget] = WindowEntry{handler, std::move(answer)};
    if (known) return;
    widget->installEventFilter(&router());
    QObject::connect(widget, &QObject::destroyed, [](QObject* gone) { windows().erase(gone); });
}

void setMessageHandler(QWidget* widget, WindowMessageHandler* handler) {
    const auto found = windows().find(widget);
    if (found == windows().end()) {
        registerWindow(widget, handler);
        return;
    }
    found->second.handler = handler;
}

void unregisterWindow(QWidget* widget) {
    if (windows().erase(widget) != 0) widget->removeEventFilter(&router());
}

}  // namespace qt

namespace {

class QtToolkit final : public Toolkit {
  public:
    QtToolkit() { qt::ensureApplication(); }

    void processMessages() override {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

    int runMessageLoop() override {
        // A quit asked for before the loop runs ends it at once, as WM_QUIT waiting in the
        // queue does on Windows.
        if (quitPending_) {
            quitPending_ = false;
            return quitCode_;
        }
        inLoop_ = true;
        const int code = QApplication::exec();
        inLoop_ = false;
        quitPending_ = false;
        return code;
    }

    void quitMessageLoop(int exitCode) override {
        quitCode_ = exitCode;
        quitPending_ = true;
        if (inLoop_) QCoreApplication::exit(exitCode);
    }

    std::uint32_t registerWindowMessage(const std::u16string& name) override {
        if (name.empty()) return 0;
        // Windows compares the names without regard to case.
        // One table for the process, shared by every toolkit object.
        static std::map<std::u16string, std::uint32_t> registered;
        static std::uint32_t next = qt::kFirstRegisteredMessage;
        const std::u16string key = text::upperAscii(name);
        const auto found = registered.find(key);
        if (found != registered.end()) return found->second;
        if (next > qt::kLastRegisteredMessage) return 0;
        registered.emplace(key, next);
        return next++;
    }

    bool postMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                     std::intptr_t lParam) override {
        QWidget* widget = qt::widgetOf(window);
        if (!widget) return false;
        QCoreApplication::postEvent(widget, new qt::WindowMessageEvent(message, wParam, lParam));
        return true;
    }

    std::intptr_t sendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) override {
        QWidget* widget = qt::widgetOf(window);
        if (!widget) return 0;
        // Copy: the handler may destroy the window.
        const qt::WindowEntry entry = qt::windows()[widget];
        if (entry.handler && qt::isRegisteredMessage(message)) {
            qt::deliver(entry.handler, message, wParam, lParam);
            if (!qt::widgetOf(window)) return 0;
        }
        return entry.answer ? entry.answer(message, wParam, lParam) : 0;
    }

    void showMessage(WindowHandle owner, const std::u16string& caption,
                     const std::u16string& text) override {
        QMessageBox box(QMessageBox::NoIcon, toQString(caption), toQString(text), QMessageBox::Ok,
                        qt::widgetOf(owner));
        // Server-provided texts (a refusal, a status) are shown literally, never as HTML.
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }

    void beep() override { QApplication::beep(); }

    // Every feature the window components test for (marquee, error and paused colouring, the
    // taskbar mirror) exists here, so the back end answers as a current Windows (10.0) would.
    PlatformVersion platformVersion() override { return {10, 0}; }
    bool visualStylesEnabled() override { return true; }

    // The arrow of a vertical scroll bar is as high as the bar is wide.
    int verticalScrollArrowHeight() override {
        return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    }

  private:
    static QString toQString(const std::u16string& text) {
        return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    }

    bool inLoop_ = false;
    bool quitPending_ = false;
    int quitCode_ = 0;
};

}  // namespace

std::unique_ptr<Toolkit> createNativeToolkit() {
    return std::make_unique<QtToolkit>();
}

}  // namespace platform
