// TtbProgressBar: the progress control (percentage bar, marquee, error and paused colouring)
// over the platform's "msctls_progress32", mirrored on the taskbar button through a posted
// update message that the control handles when the message loop delivers it.
#pragma once

#include <cstdint>
#include <string>

#include "ui/tbTaskbarComponents.h"

// Colours as the toolkit names them: 0x00BBGGRR, or a system colour index with the top byte
// 0xFF, or clDefault for the platform's own colour.
using TColor = std::int32_t;
constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000);
constexpr TColor clDefault = 0x20000000;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clBlack = 0x000000;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clWindow = clSystemColor | 5;

enum TProgressBarOrientation : std::uint8_t { pbHorizontal = 0, pbVertical = 1 };

enum TtbProgressBarState : std::uint8_t {
    pbstMarquee = 0,
    pbstNormal = 1,
    pbstError = 2,
    pbstPaused = 3,
};

// The registered message that makes the control push its state to the taskbar.
constexpr char16_t kUpdateTaskbarMessageName[] = u"tb.Control.Update.Taskbar";

class TtbProgressBar : public TtbTaskbarWinControl {
  public:
    explicit TtbProgressBar(platform::WindowHandle AOwner = platform::kNoWindow);
    ~TtbProgressBar() override;

    std::int32_t Min();
    void setMin(std::int32_t value);
    std::int32_t Max();
    void setMax(std::int32_t value);
    std::int32_t Position();
    void setPosition(std::int32_t value);
    std::int32_t Step() const { return FStep; }
    void setStep(std::int32_t value);
    TProgressBarOrientation Orientation() const { return FOrientation; }
    void setOrientation(TProgressBarOrientation value);
    bool Smooth() const { return FSmooth; }
    void setSmooth(bool value);
    bool SmoothReverse() const { return FSmoothReverse; }
    void setSmoothReverse(bool value);
    TColor BarColor() const { return FBarColor; }
    void setBarColor(TColor value);
    TColor BackgroundColor() const { return FBackgroundColor; }
    void setBackgroundColor(TColor value);
    TtbProgressBarState ProgressBarState() const { return FProgressBarState; }
    void setProgressBarState(TtbProgressBarState value);
    bool MarqueeEnabled() const { return FMarqueeEnabled; }
    void setMarqueeEnabled(bool value);
    std::int32_t MarqueeInterval() const { return FMarqueeInterval; }
    void setMarqueeInterval(std::int32_t value);
    bool ShowInTaskbar() const { return FShowInTaskbar; }
    void setShowInTaskbar(bool value);

    void StepIt();
    void StepBy(std::int32_t Delta);

    std::uint32_t MsgUpdateTaskbar() const { return FMsgUpdateTaskbar; }

  protected:
    std::uint32_t GetCommonControlClass() override;
    std::u16string GetWindowClassName() override;
    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void WndProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;

  private:
    void SetParams(std::int32_t AMin, std::int32_t AMax);
    void PostUpdateTaskbar();
    void SendRange(std::int32_t AMin, std::int32_t AMax);
    void ApplyState();
    bool MarqueeAvailable();
    std::uintptr_t MarqueeWParam() const;
    std::uint32_t ColorToCommonControl(TColor color);
    void UpdateTaskbar();

    std::int32_t FMin = 0;
    std::int32_t FMax = 100;
    std::int32_t FPosition = 0;
    std::int32_t FStep = 10;
    TProgressBarOrientation FOrientation = pbHorizontal;
    bool FSmooth = false;
    bool FSmoothReverse = false;
    TColor FBarColor = clDefault;
    TColor FBackgroundColor = clDefault;
    std::uint32_t FMsgUpdateTaskbar = 0;
    TtbProgressBarState FProgressBarState = pbstNormal;
    bool FMarqueeEnabled = false;
    bool FShowInTaskbar = false;
    std::int32_t FMarqueeInterval = 50;
    // The native window has the marquee style: the platform's control then ignores PBM_SETPOS
    // (and answers PBM_GETPOS with its minimum), so the position is kept in FPosition.
    bool FMarqueeWindow = false;
};
