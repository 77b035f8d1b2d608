// Linux: the common controls on Qt. The progress bar class is the one control kind the window
// components need; the common-controls initialisation always succeeds (nothing to load).
#include <QApplication>
#include <QCloseEvent>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QResizeEvent>
#include <functional>

#include "platform/CommonControls.h"
#include "platform/linux/ToolkitQt.h"
#include "platform/linux/ToolkitQtProgressBar.h"

namespace platform {
namespace {

std::uint32_t toColorRef(const QColor& color) {
    return static_cast<std::uint32_t>(color.red()) |
           static_cast<std::uint32_t>(color.green()) << 8 |
           static_cast<std::uint32_t>(color.blue()) << 16;
}

// The Windows system colour indices, answered from the application's palette.
QColor paletteColor(int index) {
    const QPalette palette = QApplication::palette();
    switch (index) {
        case 0:
            return palette.color(QPalette::Button);  // COLOR_SCROLLBAR
        case 1:
            return palette.color(QPalette::Window);  // COLOR_BACKGROUND
        case 2:
            return palette.color(QPalette::Highlight);  // COLOR_ACTIVECAPTION
        case 3:
            return palette.color(QPalette::Inactive, QPalette::Highlight);
        case 4:
            return palette.color(QPalette::Window);  // COLOR_MENU
        case 5:
            return palette.color(QPalette::Base);  // COLOR_WINDOW
        case 6:
            return palette.color(QPalette::Shadow);  // COLOR_WINDOWFRAME
        case 7:
            return palette.color(QPalette::WindowText);  // COLOR_MENUTEXT
        case 8:
            return palette.color(QPalette::Text);  // COLOR_WINDOWTEXT
        case 9:
            return palette.color(QPalette::HighlightedText);  // COLOR_CAPTIONTEXT
        case 10:                                              // COLOR_ACTIVEBORDER
        case 11:
            return palette.color(QPalette::Window);  // COLOR_INACTIVEBORDER
        case 12:
            return palette.color(QPalette::Dark);  // COLOR_APPWORKSPACE
        case 13:
            return palette.color(QPalette::Highlight);  // COLOR_HIGHLIGHT
        case 14:
            return palette.color(QPalette::HighlightedText);  // COLOR_HIGHLIGHTTEXT
        case 15:
            return palette.color(QPalette::Button);  // COLOR_BTNFACE
        case 16:
            return palette.color(QPalette::Mid);  // COLOR_BTNSHADOW
        case 17:
            return palette.color(QPalette::Disabled, QPalette::Text);  // COLOR_GRAYTEXT
        case 18:
            return palette.color(QPalette::ButtonText);  // COLOR_BTNTEXT
        case 19:
            return palette.color(QPalette::Disabled, QPalette::WindowText);
        case 20:
            return palette.color(QPalette::Light);  // COLOR_BTNHIGHLIGHT
        case 21:
            return palette.color(QPalette::Shadow);  // COLOR_3DDKSHADOW
        case 22:
            return palette.color(QPalette::Midlight);  // COLOR_3DLIGHT
        case 23:
            return palette.color(QPalette::ToolTipText);  // COLOR_INFOTEXT
        case 24:
            return palette.color(QPalette::ToolTipBase);  // COLOR_INFOBK
        case 26:
            return palette.color(QPalette::Link);  // COLOR_HOTLIGHT
        case 27:                                   // COLOR_GRADIENTACTIVECAPTION
        case 29:
            return palette.color(QPalette::Highlight);  // COLOR_MENUHILIGHT
        case 28:
            return palette.color(QPalette::Inactive, QPalette::Highlight);
        case 30:
            return palette.color(QPalette::Window);  // COLOR_MENUBAR
        default:
            return QColor(0, 0, 0);
    }
}

qt::QtProgressBar* progressBarOf(WindowHandle handle) {
    return dynamic_cast<qt::QtProgressBar*>(qt::widgetOf(handle));
}

// Reports the size of its parent's client area each time it changes; it lives as a child of the
// control that watches, so it goes with it.
class ParentSizeWatch final : public QObject {
  public:
    ParentSizeWatch(QWidget* control, std::function<void(int, int)> onResize)
        : QObject(control), onResize_(std::move(onResize)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            const QSize size = static_cast<QResizeEvent*>(event)->size();
            onResize_(size.width(), size.height());
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void(int, int)> onResize_;
};

// Closing the window ends the message loop, as the Windows host window does.
class HostWindow final : public QWidget {
  protected:
    void closeEvent(QCloseEvent* event) override {
        QCoreApplication::exit(0);
        QWidget::closeEvent(event);
    }
};

class QtCommonControls final : public CommonControls {
  public:
    QtCommonControls() { qt::ensureApplication(); }

    bool initCommonControlsEx(std::uint32_t) override { return true; }
    void initCommonControls() override {}

    WindowHandle createControl(const std::u16string& className, WindowHandle parent,
                               std::uint32_t style, const Rect& bounds, bool visible,
                               WindowMessageHandler* handler) override {
        // Class names compare without regard to case, as Windows compares them.
        const QString name =
            QString::fromUtf16(className.data(), static_cast<qsizetype>(className.size()));
        if (name.compare(QStringLiteral("msctls_progress32"), Qt::CaseInsensitive) != 0)
            return kNoWindow;
        QWidget* parentWidget = qt::widgetOf(parent);
        if (parent && !parentWidget) parentWidget = reinterpret_cast<QWidget*>(parent);
        auto* bar = new qt::QtProgressBar(parentWidget, style & 0xFFFF);
        bar->setGeometry(bounds.left, bounds.top, bounds.width, bounds.height);
        bar->setMouseTracking(true);  // moves without a button held arrive, as on Windows
        qt::registerWindow(
            bar, handler,
            [bar](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
                return bar->answer(message, wParam, lParam);
            });
        bar->setVisible(visible);
        return qt::handleOf(bar);
    }

    WindowHandle createHostWindow(const std::u16string& title, const Rect& bounds) override {
        auto* window = new HostWindow;
        window->setWindowTitle(
            QString::fromUtf16(title.data(), static_cast<qsizetype>(title.size())));
        window->setAutoFillBackground(true);
        window->setBackgroundRole(QPalette::Button);
        window->setGeometry(bounds.left, bounds.top, bounds.width, bounds.height);
        window->setFixedSize(bounds.width, bounds.height);
        qt::registerWindow(window, nullptr);
        window->show();
        return qt::handleOf(window);
    }

    void resizeHostWindow(WindowHandle host, int width, int height) override {
        if (auto* window = dynamic_cast<HostWindow*>(qt::widgetOf(host)))
            window->setFixedSize(width, height);
    }

    void destroyControl(WindowHandle control) override { delete qt::widgetOf(control); }

    Rect clientArea(WindowHandle window) override {
        QWidget* widget = qt::widgetOf(window);
        if (!widget) widget = reinterpret_cast<QWidget*>(window);  // a form's own widget
        return widget ? Rect{0, 0, widget->width(), widget->height()} : Rect{};
    }

    void watchParentSize(WindowHandle control,
                         std::function<void(int width, int height)> onResize) override {
        QWidget* widget = qt::widgetOf(control);
        if (!widget || !widget->parentWidget()) return;
        widget->parentWidget()->installEventFilter(new ParentSizeWatch(widget, std::move(onResize)));
    }

    void setBounds(WindowHandle control, const Rect& bounds) override {
        if (auto* bar = progressBarOf(control))
            bar->setGeometry(bounds.left, bounds.top, bounds.width, bounds.height);
    }

    void setVisible(WindowHandle control, bool visible) override {
        if (auto* bar = progressBarOf(control)) bar->setVisible(visible);
    }

    std::uint32_t controlStyle(WindowHandle control) override {
        auto* bar = progressBarOf(control);
        return bar ? bar->style() : 0;
    }

    void setEnabled(WindowHandle control, bool enabled) override {
        if (QWidget* widget = qt::widgetOf(control)) widget->setEnabled(enabled);
    }

    bool isEnabled(WindowHandle control) override {
        QWidget* widget = qt::widgetOf(control);
        return widget && widget->isEnabled();
    }

    void setToolTip(WindowHandle control, const std::u16string& text) override {
        if (QWidget* widget = qt::widgetOf(control))
            widget->setToolTip(
                QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
    }

    std::u16string toolTip(WindowHandle control) override {
        QWidget* widget = qt::widgetOf(control);
        if (!widget) return {};
        const QString text = widget->toolTip();
        return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                              static_cast<std::size_t>(text.size()));
    }

    void setTabStop(WindowHandle control, bool tabStop) override {
        if (QWidget* widget = qt::widgetOf(control))
            widget->setFocusPolicy(tabStop ? Qt::TabFocus : Qt::NoFocus);
    }

    bool tabStop(WindowHandle control) override {
        QWidget* widget = qt::widgetOf(control);
        return widget && (widget->focusPolicy() & Qt::TabFocus) != 0;
    }

    bool captureWindow(WindowHandle control, int& width, int& height,
                       std::vector<std::uint32_t>& pixels) override {
        QWidget* widget = qt::widgetOf(control);
        if (!widget) return false;
        const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull()) return false;
        width = image.width();
        height = image.height();
        pixels.resize(static_cast<std::size_t>(width) * height);
        for (int y = 0; y < height; ++y) {
            const auto* line = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
            std::copy(line, line + width, pixels.begin() + static_cast<std::ptrdiff_t>(y) * width);
        }
        return true;
    }

    std::uint32_t systemColor(int index) override { return toColorRef(paletteColor(index)); }
};

}  // namespace

std::unique_ptr<CommonControls> createNativeCommonControls() {
    return std::make_unique<QtCommonControls>();
}

}  // namespace platform
