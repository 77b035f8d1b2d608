// The toolkit's window kinds that the two forms are built from: top-level forms and the few
// control kinds they hold, placed in exact client pixels at 96 dpi, plus the spin field's rules
// that every back end applies the same way.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Text.h"
#include "platform/Toolkit.h"

namespace platform {

// 32-bit ARGB pixels, top row first; alpha 0 is transparent.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

enum class BorderIcons {
    SystemMenuMinimizeClose,  // a main window: no maximise box
    SystemMenuClose,          // a dialog
};

enum class Placement {
    ScreenCentre,          // centred on the screen when first shown
    CentreOverFirstShown,  // centred over `centreOver` the first time, then where it was left
};

struct FormOptions {
    std::u16string caption;
    int clientWidth = 0;
    int clientHeight = 0;
    BorderIcons borderIcons = BorderIcons::SystemMenuMinimizeClose;
    Placement placement = Placement::ScreenCentre;
    WindowHandle centreOver = kNoWindow;
    // The window that carries the application's taskbar button.
    bool ownsTaskbarButton = false;
};

class Control {
  public:
    virtual ~Control() = default;
    virtual WindowHandle handle() const = 0;
    virtual void setVisible(bool visible) = 0;
    virtual bool visible() const = 0;
    // A disabled container (form, group box) disables everything inside it as well.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
    virtual Rect bounds() const = 0;
};

class Button : public Control {
  public:
    virtual void setOnClick(std::function<void()> handler) = 0;
};

class CheckBox : public Control {
  public:
    virtual bool checked() const = 0;
    virtual void setChecked(bool checked) = 0;
};

// A label keeps its left and top and takes the size of its text.
class Label : public Control {
  public:
    virtual std::u16string text() const = 0;
    virtual void setText(const std::u16string& text) = 0;
};

class Edit : public Control {
  public:
    virtual std::u16string text() const = 0;
    virtual void setText(const std::u16string& text) = 0;
};

// The numeric spin field. Typing is filtered by spin::acceptsCharacter (a refused key beeps),
// the arrows and the Up/Down keys call step(±1), and losing focus calls clampOnExit().
class SpinEdit : public Control {
  public:
    virtual std::u16string text() const = 0;
    virtual void setText(const std::u16string& text) = 0;
    virtual std::int32_t minValue() const = 0;
    virtual std::int32_t maxValue() const = 0;

    // The rules below are the same on every back end.
    std::int32_t value() const;
    void setValue(std::int64_t value);
    void step(int delta) { setValue(static_cast<std::int64_t>(value()) + delta); }
    void clampOnExit() {
        const std::int32_t v = value();
        if (v < minValue() || v > maxValue()) setValue(v);
    }
};

// A captioned frame holding one column of radio buttons; -1 means no item selected.
class RadioGroup : public Control {
  public:
    virtual int itemIndex() const = 0;
    virtual void setItemIndex(int index) = 0;
    // Called after the user picks an item (not when setItemIndex is called).
    virtual void setOnClick(std::function<void()> handler) = 0;
};

// A captioned frame; controls created with it as parent are placed relative to its top left.
class GroupBox : public Control {};

class Form : public Control {
  public:
    // Shows the window and makes it the active one; hiding keeps its position for next time.
    virtual void show() = 0;
    virtual void hide() = 0;
    // Runs when the window becomes the program's active window: when shown, and when activation
    // comes back to it from another form of the program; not on a switch from another program
    // or back from a message box.
    virtual void setOnActivate(std::function<void()> handler) = 0;
    // The close box, the system menu's Close and Alt+F4 call this instead of closing; the form
    // decides what closing means.
    virtual void setOnClose(std::function<void()> handler) = 0;
    // Asked before any change of size; returning false keeps the size.
    virtual void setOnCanResize(std::function<bool(int width, int height)> handler) = 0;
};

class Widgets {
  public:
    virtual ~Widgets() = default;

    // Every window uses Tahoma 8 pt (height -11), or the nearest sans font with Cyrillic.
    // Controls are created in tab order.
    virtual std::unique_ptr<Form> createForm(const FormOptions& options) = 0;
    virtual std::unique_ptr<Button> createButton(Control& parent, Rect bounds,
                                                 const std::u16string& caption) = 0;
    // A flat graphic button that never takes the keyboard focus; accessibleName is what screen
    // readers announce for it, since it shows no text.
    virtual std::unique_ptr<Button> createSpeedButton(Control& parent, Rect bounds,
                                                      const Bitmap& glyph,
                                                      const std::u16string& accessibleName) = 0;
    virtual std::unique_ptr<CheckBox> createCheckBox(Control& parent, Rect bounds,
                                                     const std::u16string& caption) = 0;
    // fontHeight is in pixels as a negative character height (-11 is Tahoma 8 pt).
    virtual std::unique_ptr<Label> createLabel(Control& parent, int left, int top,
                                               const std::u16string& text, int fontHeight) = 0;
    virtual std::unique_ptr<RadioGroup> createRadioGroup(
        Control& parent, Rect bounds, const std::u16string& caption,
        const std::vector<std::u16string>& items) = 0;
    virtual std::unique_ptr<GroupBox> createGroupBox(Control& parent, Rect bounds,
                                                     const std::u16string& caption) = 0;
    virtual std::unique_ptr<Edit> createEdit(Control& parent, Rect bounds) = 0;
    virtual std::unique_ptr<SpinEdit> createSpinEdit(Control& parent, Rect bounds,
                                                     std::int32_t minValue,
                                                     std::int32_t maxValue) = 0;
};

std::unique_ptr<Widgets> createNativeWidgets();

}  // namespace platform

// The program's body, defined by the program; each back end's entry point (main, wWinMain)
// calls it and returns its exit code.
int ProgramMain();

namespace platform {

namespace spin {

// Digits, the signs and the locale's decimal separator may be typed, and control characters
// other than Enter (backspace, clipboard keys); everything else is refused.
inline bool acceptsCharacter(char16_t c, char16_t decimalSeparator) {
    if (c >= u'0' && c <= u'9') return true;
    if (c == u'+' || c == u'-' || c == decimalSeparator) return true;
    return c < 32 && c != u'\r' && c != u'\n';
}

// A text that is not a whole decimal integer reads as the minimum.
inline std::int32_t readValue(std::u16string_view text, std::int32_t minValue) {
    std::int32_t value = 0;
    return text::parseInt32(text, value) ? value : minValue;
}

inline std::int32_t clamp(std::int64_t value, std::int32_t minValue, std::int32_t maxValue) {
    if (value < minValue) return minValue;
    if (value > maxValue) return maxValue;
    return static_cast<std::int32_t>(value);
}

}  // namespace spin

inline std::int32_t SpinEdit::value() const {
    return spin::readValue(text(), minValue());
}

inline void SpinEdit::setValue(std::int64_t value) {
    setText(text::decimal(spin::clamp(value, minValue(), maxValue())));
}

}  // namespace platform
