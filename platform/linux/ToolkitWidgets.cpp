// Linux: the forms and their controls on Qt 6 Widgets, placed in the same client pixels as on
// Windows. Tahoma is rarely installed, so the font falls back to a condensed sans with Cyrillic
// of the same pixel height.
#include <QAbstractSpinBox>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "platform/Widgets.h"
#include "platform/linux/ToolkitQt.h"

namespace platform {
namespace {

QString toQString(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
std::u16string fromQString(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

// A Windows font height is the negative character height in pixels.
QFont formFont(int fontHeight) {
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(fontHeight < 0 ? -fontHeight : fontHeight);
    return font;
}

QWidget* widgetFor(Control& control) {
    return reinterpret_cast<QWidget*>(control.handle());
}

// Common part: a control owns its widget unless a parent already destroyed it.
template <class Interface, class Widget>
class QtControl : public Interface {
  public:
    explicit QtControl(Widget* widget) : widget_(widget) { qt::registerWindow(widget, nullptr); }
    ~QtControl() override { delete widget_.data(); }

    WindowHandle handle() const override { return qt::handleOf(widget_.data()); }
    void setVisible(bool visible) override { widget_->setVisible(visible); }
    // A child's own flag, as the designer set it (a hidden parent does not hide it here).
    bool visible() const override { return !widget_->isHidden(); }
    void setEnabled(bool enabled) override { widget_->setEnabled(enabled); }
    bool enabled() const override { return widget_->isEnabled(); }
    Rect bounds() const override {
        const QRect r = widget_->geometry();
        return {r.x(), r.y(), r.width(), r.height()};
    }

  protected:
    QPointer<Widget> widget_;
};

template <class Widget>
Widget* placed(Control& parent, Rect bounds) {
    auto* widget = new Widget(widgetFor(parent));
    widget->setGeometry(bounds.left, bounds.top, bounds.width, bounds.height);
    widget->show();
    return widget;
}

// ---- forms -----------------------------------------------------------------------------------

class QtForm;

// The form that was last the program's active one; an activation that comes back to it from a
// message box or from another program does not count.
QtForm* lastActiveForm = nullptr;

class FormWidget final : public QWidget {
  public:
    FormWidget(QtForm& owner, Qt::WindowFlags flags) : QWidget(nullptr, flags), owner_(owner) {}

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QtForm& owner_;
};

class QtForm final : public QtControl<Form, FormWidget> {
  public:
    explicit QtForm(const FormOptions& options)
        : QtControl(new FormWidget(*this, flagsFor(options))), options_(options) {
        widget_->setWindowTitle(toQString(options.caption));
        widget_->setFont(formFont(-11));
        widget_->setFixedSize(options.clientWidth, options.clientHeight);
        widget_->setAutoFillBackground(true);
    }
    ~QtForm() override {
        if (lastActiveForm == this) lastActiveForm = nullptr;
    }

    void show() override {
        const bool opening = widget_->isHidden();
        if (opening && !placed_) place();
        widget_->show();
        if (options_.placement == Placement::CentreOverFirstShown) {
            if (QWidget* over = qt::widgetOf(options_.centreOver); over && over->windowHandle())
                widget_->windowHandle()->setTransientParent(over->windowHandle());
        }
        widget_->raise();
        widget_->activateWindow();
        if (opening) activated(true);
    }
    void hide() override { widget_->hide(); }
    void setOnActivate(std::function<void()> handler) override { onActivate_ = std::move(handler); }
    void setOnClose(std::function<void()> handler) override { onClose_ = std::move(handler); }
    void setOnCanResize(std::function<bool(int, int)> handler) override {
        onCanResize_ = std::move(handler);
    }
    bool visible() const override { return widget_->isVisible(); }

    void activated(bool opening) {
        const bool counts = opening || lastActiveForm != this;
        lastActiveForm = this;
        if (counts && onActivate_) onActivate_();
    }
    void closeRequested() {
        if (onClose_) onClose_();
    }
    // Keeps the designed client size unless the form allows the change.
    void resized(QSize size) {
        const QSize designed(options_.clientWidth, options_.clientHeight);
        if (size == designed) return;
        if (onCanResize_ && onCanResize_(size.width(), size.height())) return;
        QTimer::singleShot(0, widget_.data(), [w = widget_, designed] {
            if (w) w->resize(designed);
        });
    }

  private:
    static Qt::WindowFlags flagsFor(const FormOptions& options) {
        Qt::WindowFlags flags = Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (options.borderIcons == BorderIcons::SystemMenuMinimizeClose)
            flags |= Qt::Window | Qt::WindowMinimizeButtonHint;
        else
            flags |= Qt::Dialog;
        return flags;
    }

    void place() {
        placed_ = true;
        QRect area;
        if (QWidget* over = qt::widgetOf(options_.centreOver);
            over && options_.placement == Placement::CentreOverFirstShown) {
            area = over->frameGeometry();
        } else if (QScreen* screen = QApplication::primaryScreen()) {
            area = screen->geometry();
        }
        const int x = area.x() + (area.width() - options_.clientWidth) / 2;
        const int y = area.y() + (area.height() - options_.clientHeight) / 2;
        widget_->move(std::max(0, x), std::max(0, y));
    }

    FormOptions options_;
    bool placed_ = false;
    std::function<void()> onActivate_;
    std::function<void()> onClose_;
    std::function<bool(int, int)> onCanResize_;
};

bool FormWidget::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) owner_.activated(false);
    return QWidget::event(event);
}

void FormWidget::closeEvent(QCloseEvent* event) {
    // The form decides: the main window ends the program, the settings window hides.
    event->ignore();
    owner_.closeRequested();
}

void FormWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    owner_.resized(event->size());
}

// ---- simple controls -------------------------------------------------------------------------

class QtButton final : public QtControl<Button, QAbstractButton> {
  public:
    explicit QtButton(QAbstractButton* button) : QtControl(button) {
        QObject::connect(button, &QAbstractButton::clicked, [this] {
            if (onClick_) onClick_();
        });
    }
    void setOnClick(std::function<void()> handler) override { onClick_ = std::move(handler); }

  private:
    std::function<void()> onClick_;
};

class QtCheckBox final : public QtControl<CheckBox, QCheckBox> {
  public:
    using QtControl::QtControl;
    bool checked() const override { return widget_->isChecked(); }
    void setChecked(bool checked) override { widget_->setChecked(checked); }
};

class QtLabel final : public QtControl<Label, QLabel> {
  public:
    using QtControl::QtControl;
    std::u16string text() const override { return fromQString(widget_->text()); }
    void setText(const std::u16string& text) override {
        widget_->setText(toQString(text));
        widget_->adjustSize();
    }
};

class QtEdit final : public QtControl<Edit, QLineEdit> {
  public:
    using QtControl::QtControl;
    std::u16string text() const override { return fromQString(widget_->text()); }
    void setText(const std::u16string& text) override { widget_->setText(toQString(text)); }
};

class QtGroupBox final : public QtControl<GroupBox, QGroupBox> {
  public:
    using QtControl::QtControl;
};

// One column of radio buttons spread over the frame as the Windows radio group arranges them.
class QtRadioGroup final : public QtControl<RadioGroup, QGroupBox> {
  public:
    // The arrow keys move to the next enabled item, round the ends, and pick it, as in a
    // Windows dialog (Qt on its own may only move the focus).
    class RadioButton final : public QRadioButton {
      public:
        RadioButton(const QString& text, QGroupBox* box, QButtonGroup* group)
            : QRadioButton(text, box), group_(group) {}

      protected:
        void keyPressEvent(QKeyEvent* event) override {
            int step = 0;
            if (event->key() == Qt::Key_Down || event->key() == Qt::Key_Right) step = +1;
            if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Left) step = -1;
            if (step == 0) {
                QRadioButton::keyPressEvent(event);
                return;
            }
            const QList<QAbstractButton*> buttons = group_->buttons();
            const auto count = buttons.size();
            const auto at = buttons.indexOf(this);
            for (qsizetype i = 1; i <= count; ++i) {
                QAbstractButton* next = buttons[((at + step * i) % count + count) % count];
                if (!next->isEnabled()) continue;
                next->setFocus(Qt::TabFocusReason);
                if (!next->isChecked()) next->click();
                break;
            }
            event->accept();
        }

      private:
        QButtonGroup* group_;
    };

    QtRadioGroup(QGroupBox* box, const std::vector<std::u16string>& items)
        : QtControl(box), group_(new QButtonGroup(box)) {
        const int count = static_cast<int>(items.size());
        const int textHeight = 13;
        const int free = box->height() - textHeight - 5;
        const int rowHeight = count > 0 ? free / count : 0;
        const int topMargin = textHeight + 1 + (count > 0 ? (free % count) / 2 : 0);
        for (int i = 0; i < count; ++i) {
            auto* radio =
                new RadioButton(toQString(items[static_cast<std::size_t>(i)]), box, group_);
            radio->setGeometry(8, topMargin + i * rowHeight, box->width() - 10, rowHeight);
            group_->addButton(radio, i);
        }
        QObject::connect(group_, &QButtonGroup::idToggled, [this](int, bool) { updateTabStop(); });
        QObject::connect(group_, &QButtonGroup::idClicked, [this](int) {
            if (onClick_) onClick_();
        });
        updateTabStop();
    }
    int itemIndex() const override { return group_->checkedId(); }
    void setItemIndex(int index) override {
        QAbstractButton* button = group_->button(index);
        if (button) {
            button->setChecked(true);
            return;
        }
        // No selection: an exclusive group will not uncheck its last button by itself.
        group_->setExclusive(false);
        for (QAbstractButton* b : group_->buttons()) b->setChecked(false);
        group_->setExclusive(true);
    }
    void setOnClick(std::function<void()> handler) override { onClick_ = std::move(handler); }

  private:
    // As in a Windows dialog, Tab (and a newly shown window) reaches the group at its checked
    // item only, the first one when none is checked; the arrows move inside.
    void updateTabStop() {
        const QList<QAbstractButton*> buttons = group_->buttons();
        QAbstractButton* stop = group_->checkedButton();
        if (!stop && !buttons.isEmpty()) stop = buttons.front();
        for (QAbstractButton* button : buttons)
            button->setFocusPolicy(button == stop ? Qt::StrongFocus : Qt::ClickFocus);
    }

    QButtonGroup* group_;
    std::function<void()> onClick_;
};

// ---- spin field ------------------------------------------------------------------------------

class QtSpinEdit;

class SpinBox final : public QAbstractSpinBox {
  public:
    SpinBox(QWidget* parent, QtSpinEdit& owner) : QAbstractSpinBox(parent), owner_(owner) {
        setButtonSymbols(QAbstractSpinBox::UpDownArrows);
        setAccelerated(false);
    }
    QLineEdit* editor() const { return lineEdit(); }

  protected:
    QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
    void stepBy(int steps) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override { event->ignore(); }

  private:
    QtSpinEdit& owner_;
};

class QtSpinEdit final : public QtControl<SpinEdit, SpinBox> {
  public:
    QtSpinEdit(Control& parent, Rect bounds, std::int32_t minValue, std::int32_t maxValue)
        : QtControl(new SpinBox(widgetFor(parent), *this)), min_(minValue), max_(maxValue) {
        widget_->setGeometry(bounds.left, bounds.top, bounds.width, bounds.height);
        widget_->show();
    }
    std::u16string text() const override { return fromQString(widget_->editor()->text()); }
    void setText(const std::u16string& text) override {
        widget_->editor()->setText(toQString(text));
    }
    std::int32_t minValue() const override { return min_; }
    std::int32_t maxValue() const override { return max_; }

  private:
    std::int32_t min_;
    std::int32_t max_;
};

void SpinBox::stepBy(int steps) {
    owner_.step(steps);
}

void SpinBox::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Up:
            owner_.step(+1);
            return;
        case Qt::Key_Down:
            owner_.step(-1);
            return;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            QApplication::beep();
            return;
        default:
            break;
    }
    const QString typed = event->text();
    if (!typed.isEmpty() && !(event->modifiers() & Qt::ControlModifier)) {
        const QString separator = QLocale().decimalPoint();
        const char16_t decimal = separator.isEmpty() ? u'.' : separator.at(0).unicode();
        for (QChar c : typed) {
            if (!spin::acceptsCharacter(c.unicode(), decimal)) {
                QApplication::beep();
                return;
            }
        }
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void SpinBox::focusOutEvent(QFocusEvent* event) {
    QAbstractSpinBox::focusOutEvent(event);
    owner_.clampOnExit();
}

// ---- the factory -----------------------------------------------------------------------------

QImage imageOf(const Bitmap& glyph) {
    QImage image(glyph.width, glyph.height, QImage::Format_ARGB32);
    for (int y = 0; y < glyph.height; ++y)
        for (int x = 0; x < glyph.width; ++x)
            image.setPixel(x, y, glyph.pixels[static_cast<std::size_t>(y * glyph.width + x)]);
    return image;
}

// Ctrl+C on a message box copies its caption and text, as Windows message boxes do, so that
// a user (or a test) can take the text away.
class MessageBoxCopy final : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        auto* box = widget ? qobject_cast<QMessageBox*>(widget->window()) : nullptr;
        if (!box || !static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) return false;
        const QString rule = QStringLiteral("---------------------------\n");
        QGuiApplication::clipboard()->setText(rule + box->windowTitle() + QStringLiteral("\n") +
                                              rule + box->text() + QStringLiteral("\n") + rule);
        return true;
    }
};

class QtWidgets final : public Widgets {
  public:
    QtWidgets() {
        qt::ensureApplication();
        QApplication::instance()->installEventFilter(&copy_);
    }
    ~QtWidgets() override {
        if (QApplication::instance()) QApplication::instance()->removeEventFilter(&copy_);
    }

    std::unique_ptr<Form> createForm(const FormOptions& options) override {
        return std::make_unique<QtForm>(options);
    }
    std::unique_ptr<Button> createButton(Control& parent, Rect bounds,
                                         const std::u16string& caption) override {
        auto* button = placed<QPushButton>(parent, bounds);
        button->setText(toQString(caption));
        // Enter on a focused button is no shortcut here, as on the Windows forms.
        button->setAutoDefault(false);
        return std::make_unique<QtButton>(button);
    }
    std::unique_ptr<Button> createSpeedButton(Control& parent, Rect bounds, const Bitmap& glyph,
                                              const std::u16string& accessibleName) override {
        auto* button = placed<QToolButton>(parent, bounds);
        button->setAccessibleName(toQString(accessibleName));
        button->setFocusPolicy(Qt::NoFocus);
        button->setIcon(QIcon(QPixmap::fromImage(imageOf(glyph))));
        button->setIconSize(QSize(glyph.width, glyph.height));
        return std::make_unique<QtButton>(button);
    }
    std::unique_ptr<CheckBox> createCheckBox(Control& parent, Rect bounds,
                                             const std::u16string& caption) override {
        auto* box = placed<QCheckBox>(parent, bounds);
        box->setText(toQString(caption));
        return std::make_unique<QtCheckBox>(box);
    }
    std::unique_ptr<Label> createLabel(Control& parent, int left, int top,
                                       const std::u16string& text, int fontHeight) override {
        auto* label = new QLabel(widgetFor(parent));
        // Texts come from servers too: shown literally, as Windows shows them, never as HTML.
        label->setTextFormat(Qt::PlainText);
        label->setFont(formFont(fontHeight));
        label->move(left, top);
        label->setFocusPolicy(Qt::NoFocus);
        auto control = std::make_unique<QtLabel>(label);
        control->setText(text);
        label->show();
        return control;
    }
    std::unique_ptr<RadioGroup> createRadioGroup(
        Control& parent, Rect bounds, const std::u16string& caption,
        const std::vector<std::u16string>& items) override {
        auto* box = placed<QGroupBox>(parent, bounds);
        box->setTitle(toQString(caption));
        return std::make_unique<QtRadioGroup>(box, items);
    }
    std::unique_ptr<GroupBox> createGroupBox(Control& parent, Rect bounds,
                                             const std::u16string& caption) override {
        auto* box = placed<QGroupBox>(parent, bounds);
        box->setTitle(toQString(caption));
        return std::make_unique<QtGroupBox>(box);
    }
    std::unique_ptr<Edit> createEdit(Control& parent, Rect bounds) override {
        return std::make_unique<QtEdit>(placed<QLineEdit>(parent, bounds));
    }
    std::unique_ptr<SpinEdit> createSpinEdit(Control& parent, Rect bounds, std::int32_t minValue,
                                             std::int32_t maxValue) override {
        return std::make_unique<QtSpinEdit>(parent, bounds, minValue, maxValue);
    }

  private:
    MessageBoxCopy copy_;
};

}  // namespace

std::unique_ptr<Widgets> createNativeWidgets() {
    return std::make_unique<QtWidgets>();
}

}  // namespace platform
