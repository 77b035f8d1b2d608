// The progress bar's properties: stored while no native window exists, sent as PBM_* messages
// once one does, and posted to the taskbar mirror where the taskbar should see the change.
#include "ui/tbProgressBar.h"

#include "platform/CommonControls.h"
#include "platform/Registry.h"
#include "platform/Taskbar.h"
#include "ui/tbErrors.h"

namespace {

constexpr std::int32_t kLegacyLow = 0;
constexpr std::int32_t kLegacyHigh = 65535;
constexpr platform::WindowHandle kInvalidHandle32 = 0xFFFFFFFF;

platform::Toolkit& toolkit() {
    return platform::get<platform::Toolkit>();
}

bool versionAtLeast(int major, int minor) {
    return platform::atLeast(toolkit().platformVersion(), major, minor);
}

// A signed value travels in wParam sign-extended, as the platform's own (INT) casts expect.
std::uintptr_t asWParam(std::int32_t value) {
    return static_cast<std::uintptr_t>(static_cast<std::intptr_t>(value));
}

std::int32_t asInt32(std::intptr_t answer) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(answer));
}

// Two's-complement difference without signed overflow.
std::int32_t difference(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

std::uint64_t signExtended(std::int32_t value) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
}

[[noreturn]] void raiseLegacyRange() {
    throw EtbError(u"Value must be between " + text::decimal(kLegacyLow) + u" and " +
                   text::decimal(kLegacyHigh));
}

// No entry window yet (the program sets it once its main window exists) is not a window the
// shell should be asked about; neither are the invalid-handle values.
bool addressable(platform::WindowHandle entry) {
    return entry != platform::kNoWindow && entry != kInvalidHandle32 &&
           entry != ~platform::WindowHandle{0};
}

}  // namespace

TtbProgressBar::TtbProgressBar(platform::WindowHandle AOwner) : TtbTaskbarWinControl(AOwner) {
    InitTaskbarControl();
    SetBounds(Left(), Top(), 150, toolkit().verticalScrollArrowHeight());
    FMsgUpdateTaskbar = toolkit().registerWindowMessage(kUpdateTaskbarMessageName);
}

TtbProgressBar::~TtbProgressBar() {
    if (FShowInTaskbar && versionAtLeast(6, 1) && FTaskbarList3) {
        const platform::WindowHandle entry = GetTaskBarEntryHandle();
        if (addressable(entry)) {
            // A destructor cannot raise; a failing shell call only leaves the button as it was.
            try {
                FTaskbarList3->SetProgressState(entry, TBPF_NOPROGRESS);
            } catch (const EtbError&) {
            }
        }
    }
    DestroyHandle();
}

std::uint32_t TtbProgressBar::GetCommonControlClass() {
    return platform::ICC_PROGRESS_CLASS;
}

std::u16string TtbProgressBar::GetWindowClassName() {
    return platform::kProgressBarClass;
}

bool TtbProgressBar::MarqueeAvailable() {
    return toolkit().visualStylesEnabled() && versionAtLeast(5, 1);
}

std::uintptr_t TtbProgressBar::MarqueeWParam() const {
    return FMarqueeEnabled ? ~std::uintptr_t{0} : 0;
}

std::uint32_t TtbProgressBar::ColorToCommonControl(TColor color) {
    if (color == clDefault) return platform::CLR_DEFAULT;
    if (color < 0) return platform::get<platform::CommonControls>().systemColor(color & 0xFF);
    return static_cast<std::uint32_t>(color);
}

void TtbProgressBar::CreateParams(TCreateParams& Params) {
    TtbTaskbarWinControl::CreateParams(Params);
    if (FOrientation == pbVertical) Params.Style |= platform::PBS_VERTICAL;
    if (FSmooth) Params.Style |= platform::PBS_SMOOTH;
    // The marquee style can only be chosen here, so a state change re-creates the window.
    FMarqueeWindow = FProgressBarState == pbstMarquee && MarqueeAvailable();
    if (FMarqueeWindow) Params.Style |= platform::PBS_MARQUEE;
    if (FSmoothReverse && toolkit().visualStylesEnabled() && versionAtLeast(6, 0))
        Params.Style |= platform::PBS_SMOOTHREVERSE;
}

void TtbProgressBar::CreateWnd() {
    TtbTaskbarWinControl::CreateWnd();
    SendRange(FMin, FMax);
    Perform(platform::PBM_SETSTEP, asWParam(FStep), 0);
    setPosition(FPosition);
    Perform(platform::PBM_SETBARCOLOR, 0, ColorToCommonControl(FBarColor));
    Perform(platform::PBM_SETBKCOLOR, 0, ColorToCommonControl(FBackgroundColor));
    ApplyState();
    if (MarqueeAvailable() && FProgressBarState == pbstMarquee)
        Perform(platform::PBM_SETMARQUEE, MarqueeWParam(), FMarqueeInterval);
}

void TtbProgressBar::DestroyWnd() {
    // The position lives in the window; keep it for the next one.
    FPosition = Position();
    FMarqueeWindow = false;
    TtbTaskbarWinControl::DestroyWnd();
}

void TtbProgressBar::SendRange(std::int32_t AMin, std::int32_t AMax) {
    if (FIn32BitMode) {
        Perform(platform::PBM_SETRANGE32, asWParam(AMin), AMax);
    } else {
        const auto packed = static_cast<std::uint32_t>(AMin & 0xFFFF) |
                            static_cast<std::uint32_t>(AMax & 0xFFFF) << 16;
        Perform(platform::PBM_SETRANGE, 0, static_cast<std::intptr_t>(packed));
    }
}

void TtbProgressBar::ApplyState() {
    if (versionAtLeast(6, 0) && HandleAllocated())
        Perform(platform::PBM_SETSTATE, FProgressBarState, 0);
    PostUpdateTaskbar();
}

void TtbProgressBar::PostUpdateTaskbar() {
    // Asking for the handle creates the window when there is none yet.
    toolkit().postMessage(Handle(), FMsgUpdateTaskbar, 0, 0);
}

std::int32_t TtbProgressBar::Min() {
    if (HandleAllocated() && FIn32BitMode) return asInt32(Perform(platform::PBM_GETRANGE, 1, 0));
    return FMin;
}

std::int32_t TtbProgressBar::Max() {
    if (HandleAllocated() && FIn32BitMode) return asInt32(Perform(platform::PBM_GETRANGE, 0, 0));
    return FMax;
}

std::int32_t TtbProgressBar::Position() {
    if (!HandleAllocated() || FMarqueeWindow) return FPosition;
    if (FIn32BitMode) return asInt32(Perform(platform::PBM_GETPOS, 0, 0));
    return asInt32(Perform(platform::PBM_DELTAPOS, 0, 0));
}

void TtbProgressBar::setMin(std::int32_t value) {
    SetParams(value, FMax);
}

void TtbProgressBar::setMax(std::int32_t value) {
    SetParams(FMin, value);
}

void TtbProgressBar::SetParams(std::int32_t AMin, std::int32_t AMax) {
    if (AMax < AMin) throw EInvalidOperation(u"TtbProgressBar property out of range");
    if (!FIn32BitMode && (AMin < kLegacyLow || AMax > kLegacyHigh)) raiseLegacyRange();
    if (AMin == FMin && AMax == FMax) return;
    if (HandleAllocated()) {
        SendRange(AMin, AMax);
        PostUpdateTaskbar();
    }
    FMin = AMin;
    FMax = AMax;
}

void TtbProgressBar::setPosition(std::int32_t value) {
    if (!FIn32BitMode && (value < kLegacyLow || value > kLegacyHigh)) raiseLegacyRange();
    if (HandleAllocated()) {
        if (FMarqueeWindow) FPosition = value;
        Perform(platform::PBM_SETPOS, asWParam(value), 0);
        PostUpdateTaskbar();
    } else {
        FPosition = value;
    }
}

void TtbProgressBar::setStep(std::int32_t value) {
    if (value == FStep) return;
    FStep = value;
    if (HandleAllocated()) {
        Perform(platform::PBM_SETSTEP, asWParam(value), 0);
        PostUpdateTaskbar();
    }
}

void TtbProgressBar::setOrientation(TProgressBarOrientation value) {
    if (value == FOrientation) return;
    FOrientation = value;
    RecreateWnd();
}

void TtbProgressBar::setSmooth(bool value) {
    if (value == FSmooth) return;
    FSmooth = value;
    RecreateWnd();
}

void TtbProgressBar::setSmoothReverse(bool value) {
    if (value == FSmoothReverse) return;
    FSmoothReverse = value;
    RecreateWnd();
}

void TtbProgressBar::setBarColor(TColor value) {
    if (value == FBarColor) return;
    FBarColor = value;
    if (HandleAllocated()) Perform(platform::PBM_SETBARCOLOR, 0, ColorToCommonControl(value));
}

void TtbProgressBar::setBackgroundColor(TColor value) {
    if (value == FBackgroundColor) return;
    FBackgroundColor = value;
    if (HandleAllocated()) Perform(platform::PBM_SETBKCOLOR, 0, ColorToCommonControl(value));
}

void TtbProgressBar::setProgressBarState(TtbProgressBarState value) {
    if (value != FProgressBarState) {
        FProgressBarState = value;
        // The new window applies the state (and posts the update) as it is created.
        RecreateWnd();
        return;
    }
    ApplyState();
}

void TtbProgressBar::setMarqueeEnabled(bool value) {
    if (value == FMarqueeEnabled) return;
    FMarqueeEnabled = value;
    if (FProgressBarState == pbstMarquee && MarqueeAvailable() && HandleAllocated()) {
        Perform(platform::PBM_SETMARQUEE, MarqueeWParam(), FMarqueeInterval);
        PostUpdateTaskbar();
    }
}

void TtbProgressBar::setMarqueeInterval(std::int32_t value) {
    if (value == FMarqueeInterval) return;
    FMarqueeInterval = value;
    if (FProgressBarState == pbstMarquee && MarqueeAvailable() && HandleAllocated())
        Perform(platform::PBM_SETMARQUEE, MarqueeWParam(), FMarqueeInterval);
}

void TtbProgressBar::setShowInTaskbar(bool value) {
    if (value == FShowInTaskbar) return;
    FShowInTaskbar = value;
    PostUpdateTaskbar();
}

void TtbProgressBar::StepIt() {
    if (!HandleAllocated()) return;
    Perform(platform::PBM_STEPIT, 0, 0);
    PostUpdateTaskbar();
}

void TtbProgressBar::StepBy(std::int32_t Delta) {
    if (!HandleAllocated()) return;
    Perform(platform::PBM_DELTAPOS, asWParam(Delta), 0);
    PostUpdateTaskbar();
}

void TtbProgressBar::WndProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == FMsgUpdateTaskbar) UpdateTaskbar();
    TtbTaskbarWinControl::WndProc(message, wParam, lParam);
}

void TtbProgressBar::UpdateTaskbar() {
    if (!versionAtLeast(6, 1) || !FTaskbarList3) return;
    const platform::WindowHandle entry = GetTaskBarEntryHandle();
    if (!addressable(entry)) return;
    if (!FShowInTaskbar) {
        FTaskbarList3->SetProgressState(entry, TBPF_NOPROGRESS);
        return;
    }
    switch (FProgressBarState) {
        case pbstMarquee:
            FTaskbarList3->SetProgressState(entry, TBPF_NORMAL);
            FTaskbarList3->SetProgressState(entry,
                                            FMarqueeEnabled ? TBPF_INDETERMINATE : TBPF_NOPROGRESS);
            return;  // no value while the total is unknown
        case pbstNormal:
            FTaskbarList3->SetProgressState(entry, TBPF_NORMAL);
            break;
        case pbstError:
            FTaskbarList3->SetProgressState(entry, TBPF_ERROR);
            break;
        case pbstPaused:
            FTaskbarList3->SetProgressState(entry, TBPF_PAUSED);
            break;
    }
    // Read now, through the getters: a message that waited in the queue shows the latest values.
    // Evaluated left to right, as written: Position - Min, then Max - Min.
    const std::int32_t position = Position();
    const std::int32_t completed = difference(position, Min());
    const std::int32_t high = Max();
    const std::int32_t total = difference(high, Min());
    FTaskbarList3->SetProgressValue(entry, signExtended(completed), signExtended(total));
}
