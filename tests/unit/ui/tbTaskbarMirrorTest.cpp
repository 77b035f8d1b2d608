// The taskbar mirror against recording fakes: what each delivered update message asks of the
// shell for each state, destruction, and the failures of obtaining the taskbar object.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/fakes/FakeProgressDisplay.h"
#include "ui/tbErrors.h"
#include "ui/tbProgressBar.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

class TaskbarMirrorTest : public testing::Test {
  protected:
    TaskbarMirrorTest() { fakes.toolkit.logGetters = false; }

    // Taskbar calls only: what the shell was asked for.
    std::vector<std::string> shellCalls() const {
        std::vector<std::string> calls;
        for (const auto& entry : fakes.log)
            if (entry.rfind("SetProgress", 0) == 0) calls.push_back(entry);
        return calls;
    }

    std::unique_ptr<TtbProgressBar> mirroredBar() {
        auto bar = std::make_unique<TtbProgressBar>(0x10);
        bar->setShowInTaskbar(true);
        fakes.toolkit.deliverPosted();
        fakes.log.clear();
        return bar;
    }

    fakes::ProgressDisplayFakes fakes;
};

TEST_F(TaskbarMirrorTest, NormalStateSendsStateThenValueRelativeToTheRange) {
    auto bar = mirroredBar();
    bar->setMax(120);
    bar->setMin(20);
    bar->setPosition(57);
    fakes.log.clear();
    EXPECT_EQ(fakes.toolkit.deliverPosted(), 3);
    // Each queued message re-reads the current values.
    EXPECT_THAT(shellCalls(),
                ElementsAre("SetProgressState 0xA00 TBPF_NORMAL", "SetProgressValue 0xA00 37 100",
                            "SetProgressState 0xA00 TBPF_NORMAL", "SetProgressValue 0xA00 37 100",
                            "SetProgressState 0xA00 TBPF_NORMAL", "SetProgressValue 0xA00 37 100"));
}

TEST_F(TaskbarMirrorTest, MarqueeIsIndeterminateOnlyWhileAnimating) {
    auto bar = mirroredBar();
    bar->setProgressBarState(pbstMarquee);
    fakes.toolkit.deliverPosted();
    EXPECT_THAT(shellCalls(), ElementsAre("SetProgressState 0xA00 TBPF_NORMAL",
                                          "SetProgressState 0xA00 TBPF_NOPROGRESS",
                                          "SetProgressState 0xA00 TBPF_NORMAL",
                                          "SetProgressState 0xA00 TBPF_NOPROGRESS"));
    fakes.log.clear();
    bar->setMarqueeEnabled(true);
    fakes.toolkit.deliverPosted();
    EXPECT_THAT(shellCalls(), ElementsAre("SetProgressState 0xA00 TBPF_NORMAL",
                                          "SetProgressState 0xA00 TBPF_INDETERMINATE"));
}

TEST_F(TaskbarMirrorTest, ErrorAndPausedSendTheirStateWithTheValue) {
    auto bar = mirroredBar();
    bar->setPosition(40);
    bar->setProgressBarState(pbstError);
    fakes.log.clear();
    bar->setProgressBarState(pbstError);
    fakes.toolkit.deliverPosted();
    // Three updates were queued (the position, the re-created window, the repeated state); each
    // reads the state when delivered, so all show the error, state before value.
    EXPECT_THAT(shellCalls(),
                ElementsAre("SetProgressState 0xA00 TBPF_ERROR", "SetProgressValue 0xA00 40 100",
                            "SetProgressState 0xA00 TBPF_ERROR", "SetProgressValue 0xA00 40 100",
                            "SetProgressState 0xA00 TBPF_ERROR", "SetProgressValue 0xA00 40 100"));

    bar->setProgressBarState(pbstPaused);
    fakes.toolkit.deliverPosted();
    fakes.log.clear();
    bar->setPosition(41);
    fakes.toolkit.deliverPosted();
    EXPECT_THAT(shellCalls(),
                ElementsAre("SetProgressState 0xA00 TBPF_PAUSED", "SetProgressValue 0xA00 41 100"));
}

TEST_F(TaskbarMirrorTest, NotShownInTaskbarClearsTheProgressOnEveryUpdate) {
    auto bar = mirroredBar();
    bar->setShowInTaskbar(false);
    bar->setPosition(10);
    fakes.toolkit.deliverPosted();
    EXPECT_THAT(shellCalls(), ElementsAre("SetProgressState 0xA00 TBPF_NOPROGRESS",
                                          "SetProgressState 0xA00 TBPF_NOPROGRESS"));
}

TEST_F(TaskbarMirrorTest, DestructionClearsTheProgressOnlyWhenShownInTaskbar) {
    auto bar = mirroredBar();
    bar.reset();
    EXPECT_THAT(fakes.log, ElementsAre("SetProgressState 0xA00 TBPF_NOPROGRESS", "destroy"));

    auto quiet = std::make_unique<TtbProgressBar>(0x10);
    quiet->Handle();
    fakes.log.clear();
    quiet.reset();
    EXPECT_THAT(fakes.log, ElementsAre("destroy"));
    // Updates still queued for a destroyed window go nowhere.
    fakes.toolkit.deliverPosted();
    EXPECT_THAT(shellCalls(), IsEmpty());
}

TEST_F(TaskbarMirrorTest, EntryWindowIsTheChosenOneOrTheApplicationWindow) {
    auto bar = mirroredBar();
    EXPECT_EQ(bar->TaskBarEntryHandle(), 0xA00u);
    bar->setTaskBarEntryHandle(0xB00);
    bar->setPosition(3);
    fakes.toolkit.deliverPosted();
    EXPECT_THAT(shellCalls(),
                ElementsAre("SetProgressState 0xB00 TBPF_NORMAL", "SetProgressValue 0xB00 3 100"));

    fakes.log.clear();
    bar->setTaskBarEntryHandle(0xFFFFFFFF);  // the invalid handle: nothing is addressed
    bar->setPosition(4);
    fakes.toolkit.deliverPosted();
    bar->setShowInTaskbar(false);
    EXPECT_THAT(shellCalls(), IsEmpty());

    // Before the program names its main window (an update delivered inside the start-up
    // probe's message box), there is no entry window: window 0 is never addressed.
    fakes.taskbar.application = platform::kNoWindow;
    bar->setTaskBarEntryHandle(platform::kNoWindow);
    bar->setShowInTaskbar(true);
    bar->setPosition(5);
    fakes.toolkit.deliverPosted();
    bar.reset();
    EXPECT_THAT(shellCalls(), IsEmpty());
}

TEST_F(TaskbarMirrorTest, NothingIsMirroredWithoutTaskbarList3OrBeforeWindows7) {
    // From creation to destruction, with nothing cleared in between.
    const auto wholeLife = [this] {
        auto bar = std::make_unique<TtbProgressBar>(0x10);
        bar->setShowInTaskbar(true);
        bar->setPosition(50);
        bar->setProgressBarState(pbstError);
        EXPECT_NO_THROW(fakes.toolkit.deliverPosted());
    };
    fakes.taskbar.list3 = false;
    wholeLife();
    EXPECT_THAT(shellCalls(), IsEmpty());

    fakes.taskbar.list3 = true;
    fakes.toolkit.version = {6, 0};
    wholeLife();
    EXPECT_THAT(shellCalls(), IsEmpty());
}

TEST_F(TaskbarMirrorTest, FailingShellCallRaisesFromTheMessageHandling) {
    fakes.taskbar.progressResult = static_cast<platform::HResult>(0x80004005);
    auto bar = std::make_unique<TtbProgressBar>(0x10);
    bar->setPosition(6);
    bar->Handle();  // posts the update (clearing, as the bar is not shown in the taskbar)
    try {
        fakes.toolkit.deliverPosted();
        FAIL() << "no error raised";
    } catch (const EOleSysError& error) {
        EXPECT_EQ(error.ErrorCode, static_cast<std::int32_t>(0x80004005));
        EXPECT_EQ(error.Message(), SysErrorMessageFor(error.ErrorCode));
        EXPECT_FALSE(error.Message().empty());
    }
    EXPECT_EQ(bar->Position(), 6);  // the bar itself is unaffected
}

TEST_F(TaskbarMirrorTest, TaskbarObjectThatCannotBeCreatedFailsConstruction) {
    fakes.taskbar.creationResult = static_cast<platform::HResult>(0x80040154);
    try {
        TtbProgressBar bar(0x10);
        FAIL() << "constructed";
    } catch (const EOleSysError& error) {
        EXPECT_EQ(error.ErrorCode, static_cast<std::int32_t>(0x80040154));
        EXPECT_EQ(error.Message(), SysErrorMessageFor(error.ErrorCode) +
                                       u", ClassID: {56FDF344-FD6D-11D0-958A-006097C9A090}");
    }
}

TEST_F(TaskbarMirrorTest, FailingHrInitFailsConstructionAndAMissingObjectDoesNot) {
    fakes.taskbar.hrInitResult = static_cast<platform::HResult>(0x8000FFFF);
    EXPECT_THROW(TtbProgressBar bar(0x10), EOleSysError);

    fakes.taskbar.hrInitResult = 0;
    fakes.taskbar.returnsObject = false;
    fakes.log.clear();
    TtbProgressBar bar(0x10);
    EXPECT_THAT(fakes.log, ElementsAre("InitCommonControlsEx 0x20"));  // no HrInit either
    bar.setShowInTaskbar(true);
    fakes.toolkit.deliverPosted();
    EXPECT_THAT(shellCalls(), IsEmpty());
}

}  // namespace
