// A recording stand-in for the widgets: every control remembers how it was created and what was
// set on it, and the test acts as the user would (click, pick, type, close, resize).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Widgets.h"

namespace fakes {

enum class Kind {
    Form,
    Button,
    SpeedButton,
    CheckBox,
    Label,
    RadioGroup,
    GroupBox,
    Edit,
    SpinEdit
};

class FakeWidgets;

// What every fake control records.
struct ControlRecord {
    Kind kind = Kind::Button;
    ControlRecord* parent = nullptr;
    platform::Rect bounds;
    std::u16string caption;  // form caption, button or box caption, label text
    bool visible = true;
    bool enabled = true;
    int fontHeight = -11;
    std::u16string accessibleName;
    int glyphWidth = 0;
    int glyphHeight = 0;
    std::vector<std::u16string> items;

    // Enabled and every container around it enabled too: what the user can reach.
    bool effectivelyEnabled() const {
        return enabled && (parent == nullptr || parent->effectivelyEnabled());
    }
    bool effectivelyVisible() const {
        return visible && (parent == nullptr || parent->effectivelyVisible());
    }
};

template <class Interface>
class FakeControl : public Interface {
  public:
    FakeControl(FakeWidgets& owner, Kind kind, platform::Control* parent);
    ~FakeControl() override;

    platform::WindowHandle handle() const override {
        return reinterpret_cast<platform::WindowHandle>(&record);
    }
    void setVisible(bool visible) override { record.visible = visible; }
    bool visible() const override { return record.visible; }
    void setEnabled(bool enabled) override { record.enabled = enabled; }
    bool enabled() const override { return record.enabled; }
    platform::Rect bounds() const override { return record.bounds; }

    ControlRecord record;

  private:
    FakeWidgets& owner_;
};

class FakeButton final : public FakeControl<platform::Button> {
  public:
    using FakeControl::FakeControl;
    void setOnClick(std::function<void()> handler) override { onClick = std::move(handler); }
    // As a user: only a visible, enabled button reacts. Returns whether it did.
    bool click();
    std::function<void()> onClick;
};

class FakeCheckBox final : public FakeControl<platform::CheckBox> {
  public:
    using FakeControl::FakeControl;
    bool checked() const override { return isChecked; }
    void setChecked(bool checked) override { isChecked = checked; }
    bool isChecked = false;
};

class FakeLabel final : public FakeControl<platform::Label> {
  public:
    using FakeControl::FakeControl;
    std::u16string text() const override { return record.caption; }
    void setText(const std::u16string& text) override { record.caption = text; }
};

class FakeEdit final : public FakeControl<platform::Edit> {
  public:
    using FakeControl::FakeControl;
    std::u16string text() const override { return content; }
    void setText(const std::u16string& text) override { content = text; }
    std::u16string content;
};

class FakeSpinEdit final : public FakeControl<platform::SpinEdit> {
  public:
    using FakeControl::FakeControl;
    std::u16string text() const override { return content; }
    void setText(const std::u16string& text) override { content = text; }
    std::int32_t minValue() const override { return min; }
    std::int32_t maxValue() const override { return max; }
    // As a user: characters the field refuses are dropped with a beep (counted).
    void type(const std::u16string& characters);
    std::u16string content;
    std::int32_t min = 0;
    std::int32_t max = 0;
    int beeps = 0;
};

class FakeRadioGroup final : public FakeControl<platform::RadioGroup> {
  public:
    using FakeControl::FakeControl;
    int itemIndex() const override { return index; }
    void setItemIndex(int i) override {
        index = (i >= 0 && i < static_cast<int>(record.items.size())) ? i : -1;
    }
    void setOnClick(std::function<void()> handler) override { onClick = std::move(handler); }
    // As a user: picks an item and the group reports the click.
    bool pick(int item);
    int index = -1;
    std::function<void()> onClick;
};

class FakeGroupBox final : public FakeControl<platform::GroupBox> {
  public:
    using FakeControl::FakeControl;
};

class FakeForm final : public FakeControl<platform::Form> {
  public:
    using FakeControl::FakeControl;
    void show() override;
    void hide() override { record.visible = false; }
    void setOnActivate(std::function<void()> handler) override { onActivate = std::move(handler); }
    void setOnClose(std::function<void()> handler) override { onClose = std::move(handler); }
    void setOnCanResize(std::function<bool(int, int)> handler) override {
        onCanResize = std::move(handler);
    }
    // As a user or the system.
    void closeBox();
    // Returns whether the size changed.
    bool dragBorderTo(int width, int height);
    void activateFromAnotherForm();
    void activateFromAnotherProgram() {}  // does not count as the program's activation

    platform::FormOptions options;
    int showCount = 0;
    int activations = 0;
    std::function<void()> onActivate;
    std::function<void()> onClose;
    std::function<bool(int, int)> onCanResize;
};

class FakeWidgets final : public platform::Widgets {
  public:
    std::unique_ptr<platform::Form> createForm(const platform::FormOptions& options) override;
    std::unique_ptr<platform::Button> createButton(platform::Control& parent, platform::Rect bounds,
                                                   const std::u16string& caption) override;
    std::unique_ptr<platform::Button> createSpeedButton(
        platform::Control& parent, platform::Rect bounds, const platform::Bitmap& glyph,
        const std::u16string& accessibleName) override;
    std::unique_ptr<platform::CheckBox> createCheckBox(platform::Control& parent,
                                                       platform::Rect bounds,
                                                       const std::u16string& caption) override;
    std::unique_ptr<platform::Label> createLabel(platform::Control& parent, int left, int top,
                                                 const std::u16string& text,
                                                 int fontHeight) override;
    std::unique_ptr<platform::RadioGroup> createRadioGroup(
        platform::Control& parent, platform::Rect bounds, const std::u16string& caption,
        const std::vector<std::u16string>& items) override;
    std::unique_ptr<platform::GroupBox> createGroupBox(platform::Control& parent,
                                                       platform::Rect bounds,
                                                       const std::u16string& caption) override;
    std::unique_ptr<platform::Edit> createEdit(platform::Control& parent,
                                               platform::Rect bounds) override;
    std::unique_ptr<platform::SpinEdit> createSpinEdit(platform::Control& parent,
                                                       platform::Rect bounds, std::int32_t minValue,
                                                       std::int32_t maxValue) override;

    // Every living control in creation (tab) order.
    std::vector<ControlRecord*> created;
    // Child controls of a container, in creation order.
    std::vector<ControlRecord*> childrenOf(const platform::Control& parent) const;
};

}  // namespace fakes
