#include <gtest/gtest.h>

#include "platform/Widgets.h"
#include "tests/fakes/FakeWidgets.h"

namespace {

TEST(SpinEditRules, onlyDigitsSignsTheSeparatorAndControlKeysOtherThanEnterMayBeTyped) {
    for (char16_t c : std::u16string(u"0123456789+-,\b\x03\x16\x18"))
        EXPECT_TRUE(platform::spin::acceptsCharacter(c, u',')) << int(c);
    for (char16_t c : std::u16string(u"aZ .e$x\r\n\x0436"))
        EXPECT_FALSE(platform::spin::acceptsCharacter(c, u',')) << int(c);
    EXPECT_TRUE(platform::spin::acceptsCharacter(u'.', u'.'));
}

class SpinField : public ::testing::Test {
  protected:
    fakes::FakeWidgets widgets;
    std::unique_ptr<platform::Form> form = widgets.createForm({});
    std::unique_ptr<platform::SpinEdit> spin = widgets.createSpinEdit(*form, {}, 1, 65535);
    fakes::FakeSpinEdit& field = static_cast<fakes::FakeSpinEdit&>(*spin);
};

TEST_F(SpinField, refusedKeysBeepAndLeaveTheText) {
    field.type(u"12a3\r");
    EXPECT_EQ(field.text(), u"123");
    EXPECT_EQ(field.beeps, 2);
}

TEST_F(SpinField, aTextThatDoesNotParseReadsAsTheMinimum) {
    for (const char16_t* text : {u"", u"-", u"+", u"12,5", u"1-2", u"99999999999"}) {
        field.setText(text);
        EXPECT_EQ(spin->value(), 1);
    }
    field.setText(u"+42");
    EXPECT_EQ(spin->value(), 42);
    // Out of range but a number: read as it is until the field is left.
    field.setText(u"70000");
    EXPECT_EQ(spin->value(), 70000);
}

TEST_F(SpinField, settingClampsIntoTheRange) {
    spin->setValue(0);
    EXPECT_EQ(spin->text(), u"1");
    spin->setValue(-7);
    EXPECT_EQ(spin->text(), u"1");
    spin->setValue(65536);
    EXPECT_EQ(spin->text(), u"65535");
    spin->setValue(3128);
    EXPECT_EQ(spin->text(), u"3128");
}

TEST_F(SpinField, leavingTheFieldClampsOnlyAnOutOfRangeNumber) {
    field.setText(u"70000");
    spin->clampOnExit();
    EXPECT_EQ(spin->text(), u"65535");
    field.setText(u"0");
    spin->clampOnExit();
    EXPECT_EQ(spin->text(), u"1");
    field.setText(u"+80");
    spin->clampOnExit();
    EXPECT_EQ(spin->text(), u"+80");
}

TEST_F(SpinField, stepsMoveByOneWithinTheRange) {
    spin->setValue(65534);
    spin->step(+1);
    spin->step(+1);
    EXPECT_EQ(spin->value(), 65535);
    spin->setValue(2);
    spin->step(-1);
    spin->step(-1);
    EXPECT_EQ(spin->value(), 1);
    // An unreadable text counts as the minimum.
    field.setText(u"-");
    spin->step(+1);
    EXPECT_EQ(spin->text(), u"2");
}

}  // namespace
