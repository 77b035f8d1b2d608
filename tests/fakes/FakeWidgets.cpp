#include "tests/fakes/FakeWidgets.h"

#include <algorithm>

namespace fakes {
namespace {

ControlRecord* recordOf(const platform::Control& control) {
    return reinterpret_cast<ControlRecord*>(control.handle());
}

template <class Fake>
std::unique_ptr<Fake> make(FakeWidgets& owner, Kind kind, platform::Control* parent,
                           platform::Rect bounds, const std::u16string& caption) {
    auto control = std::make_unique<Fake>(owner, kind, parent);
    control->record.bounds = bounds;
    control->record.caption = caption;
    return control;
}

}  // namespace

template <class Interface>
FakeControl<Interface>::FakeControl(FakeWidgets& owner, Kind kind, platform::Control* parent)
    : owner_(owner) {
    record.kind = kind;
    record.parent = parent ? recordOf(*parent) : nullptr;
    owner_.created.push_back(&record);
}

template <class Interface>
FakeControl<Interface>::~FakeControl() {
    auto& all = owner_.created;
    all.erase(std::remove(all.begin(), all.end(), &record), all.end());
}

bool FakeButton::click() {
    if (!record.effectivelyVisible() || !record.effectivelyEnabled()) return false;
    if (onClick) onClick();
    return true;
}

void FakeSpinEdit::type(const std::u16string& characters) {
    for (char16_t c : characters) {
        if (!platform::spin::acceptsCharacter(c, u',')) {
            ++beeps;
            continue;
        }
        if (c == u'\b') {
            if (!content.empty()) content.pop_back();
        } else {
            content.push_back(c);
        }
    }
}

bool FakeRadioGroup::pick(int item) {
    if (!record.effectivelyVisible() || !record.effectivelyEnabled()) return false;
    setItemIndex(item);
    if (onClick) onClick();
    return true;
}

void FakeForm::show() {
    const bool opening = !record.visible;
    record.visible = true;
    if (!opening) return;
    ++showCount;
    // Showing a window activates it at once, as the real toolkits do.
    ++activations;
    if (onActivate) onActivate();
}

void FakeForm::closeBox() {
    if (onClose) onClose();
}

bool FakeForm::dragBorderTo(int width, int height) {
    if (onCanResize && !onCanResize(width, height)) return false;
    record.bounds.width = width;
    record.bounds.height = height;
    return true;
}

void FakeForm::activateFromAnotherForm() {
    ++activations;
    if (onActivate) onActivate();
}

std::unique_ptr<platform::Form> FakeWidgets::createForm(const platform::FormOptions& options) {
    auto form = make<FakeForm>(*this, Kind::Form, nullptr,
                               {0, 0, options.clientWidth, options.clientHeight}, options.caption);
    form->options = options;
    form->record.visible = false;
    return form;
}

std::unique_ptr<platform::Button> FakeWidgets::createButton(platform::Control& parent,
                                                            platform::Rect bounds,
                                                            const std::u16string& caption) {
    return make<FakeButton>(*this, Kind::Button, &parent, bounds, caption);
}

std::unique_ptr<platform::Button> FakeWidgets::createSpeedButton(
    platform::Control& parent, platform::Rect bounds, const platform::Bitmap& glyph,
    const std::u16string& accessibleName) {
    auto button = make<FakeButton>(*this, Kind::SpeedButton, &parent, bounds, u"");
    button->record.accessibleName = accessibleName;
    button->record.glyphWidth = glyph.width;
    button->record.glyphHeight = glyph.height;
    return button;
}

std::unique_ptr<platform::CheckBox> FakeWidgets::createCheckBox(platform::Control& parent,
                                                                platform::Rect bounds,
                                                                const std::u16string& caption) {
    return make<FakeCheckBox>(*this, Kind::CheckBox, &parent, bounds, caption);
}

std::unique_ptr<platform::Label> FakeWidgets::createLabel(platform::Control& parent, int left,
                                                          int top, const std::u16string& text,
                                                          int fontHeight) {
    auto label = make<FakeLabel>(*this, Kind::Label, &parent, {left, top, 0, 0}, text);
    label->record.fontHeight = fontHeight;
    return label;
}

std::unique_ptr<platform::RadioGroup> FakeWidgets::createRadioGroup(
    platform::Control& parent, platform::Rect bounds, const std::u16string& caption,
    const std::vector<std::u16string>& items) {
    auto group = make<FakeRadioGroup>(*this, Kind::RadioGroup, &parent, bounds, caption);
    group->record.items = items;
    return group;
}

std::unique_ptr<platform::GroupBox> FakeWidgets::createGroupBox(platform::Control& parent,
                                                                platform::Rect bounds,
                                                                const std::u16string& caption) {
    return make<FakeGroupBox>(*this, Kind::GroupBox, &parent, bounds, caption);
}

std::unique_ptr<platform::Edit> FakeWidgets::createEdit(platform::Control& parent,
                                                        platform::Rect bounds) {
    return make<FakeEdit>(*this, Kind::Edit, &parent, bounds, u"");
}

std::unique_ptr<platform::SpinEdit> FakeWidgets::createSpinEdit(platform::Control& parent,
                                                                platform::Rect bounds,
                                                                std::int32_t minValue,
                                                                std::int32_t maxValue) {
    auto spin = make<FakeSpinEdit>(*this, Kind::SpinEdit, &parent, bounds, u"");
    spin->min = minValue;
    spin->max = maxValue;
    return spin;
}

std::vector<ControlRecord*> FakeWidgets::childrenOf(const platform::Control& parent) const {
    std::vector<ControlRecord*> children;
    for (ControlRecord* record : created)
        if (record->parent == recordOf(parent)) children.push_back(record);
    return children;
}

template class FakeControl<platform::Form>;
template class FakeControl<platform::Button>;
template class FakeControl<platform::CheckBox>;
template class FakeControl<platform::Label>;
template class FakeControl<platform::RadioGroup>;
template class FakeControl<platform::GroupBox>;
template class FakeControl<platform::Edit>;
template class FakeControl<platform::SpinEdit>;

}  // namespace fakes
