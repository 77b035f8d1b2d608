// TtbProgressBar against recording fakes: what it sends to the native bar, in which order, and
// which changes post the taskbar update message.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fakes/FakeProgressDisplay.h"
#include "ui/tbErrors.h"
#include "ui/tbProgressBar.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

constexpr const char* kPost = "post tb.Control.Update.Taskbar 0 0";

class ProgressBarTest : public testing::Test {
  protected:
    // A bar with its window, the log cleared of construction and creation.
    std::unique_ptr<TtbProgressBar> withWindow() {
        auto bar = std::make_unique<TtbProgressBar>(0x10);
        bar->Handle();
        fakes.log.clear();
        return bar;
    }

    fakes::ProgressDisplayFakes fakes;
};

TEST_F(ProgressBarTest, NewControlHasTheDocumentedDefaultsAndNoWindow) {
    TtbProgressBar bar(0x10);
    EXPECT_EQ(bar.Min(), 0);
    EXPECT_EQ(bar.Max(), 100);
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_EQ(bar.Step(), 10);
    EXPECT_EQ(bar.ProgressBarState(), pbstNormal);
    EXPECT_EQ(bar.MarqueeInterval(), 50);
    EXPECT_FALSE(bar.MarqueeEnabled());
    EXPECT_FALSE(bar.ShowInTaskbar());
    EXPECT_EQ(bar.BarColor(), clDefault);
    EXPECT_EQ(bar.BackgroundColor(), clDefault);
    EXPECT_EQ(bar.Orientation(), pbHorizontal);
    EXPECT_EQ(bar.Width(), 150);
    EXPECT_EQ(bar.Height(), 17);  // the fake's SM_CYVSCROLL
    EXPECT_EQ(bar.MsgUpdateTaskbar(),
              fakes.toolkit.registerWindowMessage(u"tb.Control.Update.Taskbar"));
    EXPECT_FALSE(bar.HandleAllocated());
    EXPECT_THAT(fakes.log, ElementsAre("InitCommonControlsEx 0x20", "HrInit"));
}

TEST_F(ProgressBarTest, CreationSendsRangeStepPositionColoursAndStateInOrder) {
    TtbProgressBar bar(0x10);
    bar.setPosition(33);
    fakes.log.clear();
    bar.Handle();
    EXPECT_THAT(fakes.log, ElementsAre("create msctls_progress32 style 0x0", "PBM_SETRANGE32 0 100",
                                       "PBM_SETSTEP 10 0", "PBM_SETPOS 33 0", kPost,
                                       "PBM_SETBARCOLOR 0 0xFF000000",
                                       "PBM_SETBKCOLOR 0 0xFF000000", "PBM_SETSTATE 1 0", kPost));
    EXPECT_EQ(fakes.controls.live.at(bar.Handle()).parent, 0x10u);
}

TEST_F(ProgressBarTest, MarqueeStateChoosesTheMarqueeStyleAtCreationEvenWhenNotAnimating) {
    TtbProgressBar bar(0x10);
    bar.setProgressBarState(pbstMarquee);
    bar.setMarqueeInterval(20);
    fakes.log.clear();
    bar.Handle();
    EXPECT_THAT(fakes.log,
                ElementsAre("create msctls_progress32 style 0x8", "PBM_SETRANGE32 0 100",
                            "PBM_SETSTEP 10 0", "PBM_SETPOS 0 0", kPost,
                            "PBM_SETBARCOLOR 0 0xFF000000", "PBM_SETBKCOLOR 0 0xFF000000",
                            "PBM_SETSTATE 0 0", kPost, "PBM_SETMARQUEE 0 20"));

    fakes.log.clear();
    bar.setMarqueeEnabled(true);
    EXPECT_THAT(fakes.log, ElementsAre("PBM_SETMARQUEE -1 20", kPost));
    fakes.log.clear();
    bar.setMarqueeInterval(35);  // animation speed only: the taskbar does not care
    EXPECT_THAT(fakes.log, ElementsAre("PBM_SETMARQUEE -1 35"));
}

TEST_F(ProgressBarTest, StyleBitsFollowOrientationSmoothnessAndThePlatform) {
    TtbProgressBar bar(0x10);
    bar.setOrientation(pbVertical);
    bar.setSmooth(true);
    bar.setSmoothReverse(true);
    bar.setProgressBarState(pbstMarquee);
    bar.Handle();
    EXPECT_EQ(fakes.controls.controlStyle(bar.Handle()), 0x04u | 0x01u | 0x10u | 0x08u);

    // Without visual styles neither the marquee nor the smooth-reverse style is used, and no
    // PBM_SETMARQUEE is sent.
    fakes.toolkit.visualStyles = false;
    fakes.log.clear();
    bar.RecreateWnd();
    EXPECT_EQ(fakes.controls.controlStyle(bar.Handle()), 0x04u | 0x01u);
    for (const auto& entry : fakes.log) EXPECT_EQ(entry.find("PBM_SETMARQUEE"), std::string::npos);

    // Windows XP: marquee yes, smooth reverse and PBM_SETSTATE no.
    fakes.toolkit.visualStyles = true;
    fakes.toolkit.version = {5, 1};
    fakes.log.clear();
    bar.RecreateWnd();
    EXPECT_EQ(fakes.controls.controlStyle(bar.Handle()), 0x04u | 0x01u | 0x08u);
    for (const auto& entry : fakes.log) EXPECT_EQ(entry.find("PBM_SETSTATE"), std::string::npos);

    // Windows 2000: no marquee at all.
    fakes.toolkit.version = {5, 0};
    bar.RecreateWnd();
    EXPECT_EQ(fakes.controls.controlStyle(bar.Handle()), 0x04u | 0x01u);
}

TEST_F(ProgressBarTest, PositionBeforeTheWindowIsStoredAndPassedOnUnchanged) {
    TtbProgressBar bar(0x10);
    bar.setPosition(250);  // outside the range: the control does not clamp
    EXPECT_EQ(bar.Position(), 250);
    EXPECT_THAT(fakes.log, ElementsAre("InitCommonControlsEx 0x20", "HrInit"));
    bar.Handle();
    EXPECT_THAT(fakes.log, testing::Contains("PBM_SETPOS 250 0"));
    // Once the window exists the getter asks it (the fake bar, like the real one, clamps).
    fakes.log.clear();
    EXPECT_EQ(bar.Position(), 100);
    EXPECT_THAT(fakes.log, ElementsAre("PBM_GETPOS 0 0"));
}

TEST_F(ProgressBarTest, SettersSendTheirMessageAndPostOnlyWhereTheTaskbarCares) {
    auto bar = withWindow();
    bar->setPosition(40);
    bar->setPosition(40);  // no equality test for the position
    bar->setStep(5);
    bar->setStep(5);  // unchanged: nothing
    bar->setMax(200);
    bar->setMin(10);
    bar->setMin(10);
    bar->setBarColor(clRed);
    bar->setBackgroundColor(clHighlight);  // a system colour, sent as its RGB value
    bar->setBarColor(clDefault);
    bar->setShowInTaskbar(true);
    bar->StepIt();
    bar->StepBy(-3);
    EXPECT_THAT(fakes.log, ElementsAre("PBM_SETPOS 40 0", kPost, "PBM_SETPOS 40 0", kPost,
                                       "PBM_SETSTEP 5 0", kPost, "PBM_SETRANGE32 0 200", kPost,
                                       "PBM_SETRANGE32 10 200", kPost, "PBM_SETBARCOLOR 0 0xFF",
                                       "PBM_SETBKCOLOR 0 0xAB000D", "PBM_SETBARCOLOR 0 0xFF000000",
                                       kPost, "PBM_STEPIT 0 0", kPost, "PBM_DELTAPOS -3 0", kPost));
    EXPECT_EQ(bar->Min(), 10);
    EXPECT_EQ(bar->Max(), 200);
    EXPECT_EQ(bar->Position(), 42);
}

TEST_F(ProgressBarTest, UnchangedStateResendsTheStateAndPosts) {
    auto bar = withWindow();
    bar->setProgressBarState(pbstNormal);
    EXPECT_THAT(fakes.log, ElementsAre("PBM_SETSTATE 1 0", kPost));

    fakes.log.clear();
    fakes.toolkit.version = {5, 1};
    bar->setProgressBarState(pbstNormal);
    EXPECT_THAT(fakes.log, ElementsAre(kPost));
}

TEST_F(ProgressBarTest, SettersThatPostWithoutTestingCreateTheWindow) {
    TtbProgressBar bar(0x10);
    bar.setShowInTaskbar(true);
    EXPECT_TRUE(bar.HandleAllocated());

    TtbProgressBar other(0x10);
    other.setProgressBarState(pbstNormal);
    EXPECT_TRUE(other.HandleAllocated());
}

TEST_F(ProgressBarTest, StepItAndStepByWithoutAWindowChangeNothing) {
    TtbProgressBar bar(0x10);
    bar.setPosition(30);
    fakes.log.clear();
    bar.StepIt();
    bar.StepBy(25);
    EXPECT_THAT(fakes.log, IsEmpty());
    EXPECT_FALSE(bar.HandleAllocated());
    EXPECT_EQ(bar.Position(), 30);
}

TEST_F(ProgressBarTest, StateChangeRecreatesTheWindowAndKeepsPositionAndColours) {
    auto bar = withWindow();
    bar->setPosition(57);
    bar->setBarColor(clLime);
    const auto first = bar->Handle();
    fakes.log.clear();

    bar->setProgressBarState(pbstMarquee);
    EXPECT_THAT(fakes.log,
                ElementsAre("PBM_GETPOS 0 0", "destroy", "create msctls_progress32 style 0x8",
                            "PBM_SETRANGE32 0 100", "PBM_SETSTEP 10 0", "PBM_SETPOS 57 0", kPost,
                            "PBM_SETBARCOLOR 0 0xFF00", "PBM_SETBKCOLOR 0 0xFF000000",
                            "PBM_SETSTATE 0 0", kPost, "PBM_SETMARQUEE 0 50"));
    EXPECT_NE(bar->Handle(), first);
    EXPECT_EQ(fakes.controls.live.count(first), 0u);

    bar->setProgressBarState(pbstNormal);
    EXPECT_EQ(fakes.controls.controlStyle(bar->Handle()), 0u);
    EXPECT_EQ(bar->Position(), 57);

    // Smooth and orientation re-create as well, without posting anything of their own.
    fakes.log.clear();
    bar->setSmooth(true);
    EXPECT_EQ(fakes.log.front(), "PBM_GETPOS 0 0");
    EXPECT_EQ(fakes.controls.controlStyle(bar->Handle()), 0x01u);
    EXPECT_EQ(bar->Position(), 57);
    EXPECT_EQ(fakes.controls.live.at(bar->Handle()).barColor, 0x00FF00u);
}

TEST_F(ProgressBarTest, PositionGivenWhileTheMarqueeRunsReachesTheNextWindow) {
    auto bar = withWindow();
    bar->setPosition(30);
    bar->setProgressBarState(pbstMarquee);
    fakes.log.clear();
    // The marquee window ignores positions; the control keeps the value for the next window.
    bar->setPosition(80);
    EXPECT_EQ(bar->Position(), 80);
    EXPECT_THAT(fakes.log, ElementsAre("PBM_SETPOS 80 0", kPost));
    fakes.log.clear();
    bar->setProgressBarState(pbstNormal);
    EXPECT_EQ(fakes.log.front(), "destroy");
    EXPECT_THAT(fakes.log, testing::Contains("PBM_SETPOS 80 0"));
    EXPECT_EQ(bar->Position(), 80);
}

TEST_F(ProgressBarTest, StyleChangesWithoutAWindowWaitForTheFirstCreation) {
    TtbProgressBar bar(0x10);
    bar.setSmooth(true);
    bar.setOrientation(pbVertical);
    bar.setProgressBarState(pbstError);
    EXPECT_FALSE(bar.HandleAllocated());
    EXPECT_EQ(fakes.controls.created, 0);
    bar.Handle();
    EXPECT_EQ(fakes.controls.controlStyle(bar.Handle()), 0x05u);
    EXPECT_EQ(fakes.controls.live.at(bar.Handle()).state, 2u);
}

TEST_F(ProgressBarTest, GenericPropertiesReachEveryNewWindow) {
    TtbProgressBar bar(0x10);
    EXPECT_TRUE(bar.Enabled());
    EXPECT_FALSE(bar.ShowHint());
    EXPECT_TRUE(bar.ParentShowHint());
    EXPECT_FALSE(bar.TabStop());
    bar.setEnabled(false);
    bar.setTabStop(true);
    bar.setHint(u"Завантаження");
    const auto first = bar.Handle();
    // A hint taken from the parent shows nothing: the toolkit's windows show no hints.
    EXPECT_EQ(fakes.controls.live.at(first).toolTip, u"");
    bar.setShowHint(true);
    EXPECT_FALSE(bar.ParentShowHint());
    EXPECT_EQ(fakes.controls.live.at(first).toolTip, u"Завантаження");

    bar.setSmooth(true);  // a new native window
    const auto second = bar.Handle();
    ASSERT_NE(second, first);
    const fakes::FakeBar& now = fakes.controls.live.at(second);
    EXPECT_FALSE(now.enabled);
    EXPECT_TRUE(now.tabStop);
    EXPECT_EQ(now.toolTip, u"Завантаження");

    bar.setParentShowHint(true);
    EXPECT_FALSE(bar.ShowHint());
    EXPECT_EQ(now.toolTip, u"");
    bar.setEnabled(true);
    EXPECT_TRUE(now.enabled);
}

TEST_F(ProgressBarTest, MouseAndFocusMessagesBecomeTheControlsEvents) {
    namespace input = platform::input;
    auto bar = withWindow();
    std::vector<std::string> seen;
    auto describe = [&seen](const char* kind, int button, TShiftState shift, int x, int y) {
        seen.push_back(std::string(kind) + " " + std::to_string(button) + " " +
                       std::to_string(shift) + " " + std::to_string(x) + "," + std::to_string(y));
    };
    bar->OnMouseDown = [&](TtbTaskbarWinControl&, TMouseButton b, TShiftState s, int x, int y) {
        describe("down", b, s, x, y);
    };
    bar->OnMouseUp = [&](TtbTaskbarWinControl&, TMouseButton b, TShiftState s, int x, int y) {
        describe("up", b, s, x, y);
    };
    bar->OnMouseMove = [&](TtbTaskbarWinControl&, TShiftState s, int x, int y) {
        describe("move", -1, s, x, y);
    };
    bar->OnEnter = [&](TtbTaskbarWinControl&) { seen.push_back("enter"); };
    bar->OnExit = [&](TtbTaskbarWinControl&) { seen.push_back("exit"); };
    platform::WindowMessageHandler* window = fakes.controls.live.at(bar->Handle()).handler;
    auto at = [](int x, int y) {
        return static_cast<std::intptr_t>((static_cast<std::uint32_t>(y) & 0xFFFF) << 16 |
                                          (static_cast<std::uint32_t>(x) & 0xFFFF));
    };
    window->handleWindowMessage(input::kSetFocus, 0, 0);
    window->handleWindowMessage(input::kLeftButtonDown,
                                input::kLeftButtonHeld | input::kShiftHeld, at(12, 5));
    // A captured pointer left of and above the control: the halves are signed.
    window->handleWindowMessage(input::kMouseMove, input::kLeftButtonHeld | input::kControlHeld,
                                at(-3, -700));
    window->handleWindowMessage(input::kLeftButtonUp, 0, at(149, 16));
    window->handleWindowMessage(input::kRightButtonDown, input::kRightButtonHeld, at(1, 2));
    window->handleWindowMessage(input::kMiddleButtonUp, input::kRightButtonHeld, at(3, 4));
    window->handleWindowMessage(input::kKillFocus, 0, 0);
    EXPECT_THAT(seen, ElementsAre("enter", "down 0 9 12,5", "move -1 12 -3,-700", "up 0 0 149,16",
                                  "down 1 16 1,2", "up 2 16 3,4", "exit"));
}

TEST_F(ProgressBarTest, AlignPlacesTheControlInItsParentAndFollowsItsSize) {
    fakes.controls.parentAreas[0x10] = {0, 0, 400, 300};
    TtbProgressBar bar(0x10);
    bar.setAlign(alBottom);  // waits for the window
    EXPECT_EQ(bar.Top(), 0);
    const auto window = bar.Handle();
    EXPECT_EQ(fakes.controls.live.at(window).bounds.top, 283);
    EXPECT_EQ(fakes.controls.live.at(window).bounds.width, 400);
    fakes.controls.resizeParent(0x10, 500, 200);
    EXPECT_EQ(bar.Left(), 0);
    EXPECT_EQ(bar.Top(), 183);
    EXPECT_EQ(bar.Width(), 500);
    EXPECT_EQ(bar.Height(), 17);
    bar.setAlign(alRight);
    EXPECT_EQ(bar.Left(), 0);  // as wide as the parent from alBottom
    EXPECT_EQ(bar.Height(), 200);
    bar.setAlign(alNone);
    bar.SetBounds(10, 10, 100, 17);
    bar.setAlign(alClient);
    EXPECT_EQ(fakes.controls.live.at(window).bounds.width, 500);
    EXPECT_EQ(fakes.controls.live.at(window).bounds.height, 200);
}

TEST_F(ProgressBarTest, AnchorsKeepTheDistancesToTheirEdges) {
    fakes.controls.parentAreas[0x10] = {0, 0, 400, 300};
    TtbProgressBar bar(0x10);
    bar.SetBounds(10, 20, 300, 17);
    bar.Handle();
    EXPECT_EQ(bar.Anchors(), akLeft | akTop);
    fakes.controls.resizeParent(0x10, 500, 400);
    EXPECT_EQ(bar.Left(), 10);
    EXPECT_EQ(bar.Width(), 300);

    bar.setAnchors(akLeft | akTop | akRight);  // stretches with the parent
    fakes.controls.resizeParent(0x10, 450, 400);
    EXPECT_EQ(bar.Width(), 250);
    bar.setAnchors(akRight | akBottom);  // moves with the far edges
    fakes.controls.resizeParent(0x10, 470, 430);
    EXPECT_EQ(bar.Left(), 30);
    EXPECT_EQ(bar.Top(), 50);
    EXPECT_EQ(bar.Width(), 250);
    bar.setAnchors(0);  // keeps its place in the middle
    fakes.controls.resizeParent(0x10, 570, 430);
    EXPECT_EQ(bar.Left(), 80);

    // The old window is no longer watched once a new one exists.
    bar.setSmooth(true);
    fakes.controls.resizeParent(0x10, 670, 430);
    EXPECT_EQ(bar.Left(), 130);
}

TEST_F(ProgressBarTest, ConstraintsLimitTheSizeNowAndOnEveryResize) {
    TtbProgressBar bar(0x10);
    bar.SetBounds(5, 6, 300, 20);
    bar.setConstraints({.MinWidth = 50, .MinHeight = 0, .MaxWidth = 200, .MaxHeight = 15});
    EXPECT_EQ(bar.Width(), 200);
    EXPECT_EQ(bar.Height(), 15);
    EXPECT_EQ(bar.Left(), 5);
    bar.setWidth(10);
    EXPECT_EQ(bar.Width(), 50);
    const auto window = bar.Handle();
    bar.setHeight(40);
    EXPECT_EQ(fakes.controls.live.at(window).bounds.height, 15);
    bar.setConstraints({});
    bar.setHeight(40);
    EXPECT_EQ(fakes.controls.live.at(window).bounds.height, 40);
}

TEST_F(ProgressBarTest, InvertedRangeFailsNamingTheClassAndChangesNothing) {
    auto bar = withWindow();
    try {
        bar->setMin(150);
        FAIL() << "no error raised";
    } catch (const EInvalidOperation& error) {
        EXPECT_EQ(error.Message(), u"TtbProgressBar property out of range");
    }
    EXPECT_THROW(bar->setMax(-1), EInvalidOperation);
    EXPECT_THAT(fakes.log, IsEmpty());
    EXPECT_EQ(bar->Min(), 0);
    EXPECT_EQ(bar->Max(), 100);
}

class LegacyProgressBarTest : public ProgressBarTest {
  protected:
    LegacyProgressBarTest() { fakes.controls.extendedInitSucceeds = false; }
};

TEST_F(LegacyProgressBarTest, FailedExtendedInitialisationFallsBackToThe16BitMessages) {
    TtbProgressBar bar(0x10);
    EXPECT_THAT(fakes.log,
                ElementsAre("InitCommonControlsEx 0x20", "InitCommonControls", "HrInit"));
    bar.setMin(5);
    bar.setMax(300);
    fakes.log.clear();
    bar.Handle();
    // Each creation initialises the plain common controls again; the range travels packed.
    EXPECT_THAT(fakes.log, ElementsAre("InitCommonControls", "create msctls_progress32 style 0x0",
                                       "PBM_SETRANGE 0 0x12C0005", "PBM_SETSTEP 10 0",
                                       "PBM_SETPOS 0 0", kPost, "PBM_SETBARCOLOR 0 0xFF000000",
                                       "PBM_SETBKCOLOR 0 0xFF000000", "PBM_SETSTATE 1 0", kPost));
    fakes.log.clear();
    // The position is read with a zero delta; the range from the fields.
    EXPECT_EQ(bar.Position(), 5);
    EXPECT_EQ(bar.Min(), 5);
    EXPECT_EQ(bar.Max(), 300);
    EXPECT_THAT(fakes.log, ElementsAre("PBM_DELTAPOS 0 0"));
}

TEST_F(LegacyProgressBarTest, ValuesOutside16BitsFailWithTheRangeText) {
    TtbProgressBar bar(0x10);
    const auto expectRangeError = [](auto action) {
        try {
            action();
            ADD_FAILURE() << "no error raised";
        } catch (const EtbError& error) {
            EXPECT_EQ(error.Message(), u"Value must be between 0 and 65535");
        }
    };
    expectRangeError([&] { bar.setMax(65536); });
    expectRangeError([&] { bar.setMin(-1); });
    expectRangeError([&] { bar.setPosition(-1); });
    expectRangeError([&] { bar.setPosition(70000); });
    EXPECT_EQ(bar.Min(), 0);
    EXPECT_EQ(bar.Max(), 100);
    EXPECT_EQ(bar.Position(), 0);
    bar.setMax(65535);  // the limit itself is allowed
    EXPECT_EQ(bar.Max(), 65535);
}

}  // namespace
