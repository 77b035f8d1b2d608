// The main window TForm1: its controls and states, start-up (FormCreate) and the small handlers;
// the download button hands the window to the download run.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Probe.h"
#include "platform/Toolkit.h"
#include "platform/Widgets.h"
#include "run/DownloadRun.h"
#include "ui/tbProgressBar.h"

class TForm2;

constexpr char16_t kApplicationTitle[] = u"Orvelle Downloader";

// What TForm1 needs from the process around it.
struct TForm1Environment {
    std::vector<std::u16string> arguments;  // without the program's own path
    std::function<ProbeResult()> probe;
    // Ends the process at once (the program exits; tests record it and carry on).
    std::function<void(int exitCode)> terminate;
};

class TForm1 final : public RunWindow {
  public:
    // Creates the window with its controls, then runs FormCreate.
    TForm1(platform::Widgets& widgets, platform::Toolkit& toolkit, TForm1Environment environment);
    ~TForm1() override;

    std::unique_ptr<platform::Form> form;
    std::unique_ptr<platform::Button> btn;
    std::unique_ptr<platform::Button> stop;
    std::unique_ptr<platform::Button> sb;
    std::unique_ptr<TtbProgressBar> pb;
    std::unique_ptr<platform::CheckBox> sql;
    std::unique_ptr<platform::Label> lpr;
    std::unique_ptr<platform::CheckBox> silent;

    // The settings window, created after this one (start-up step 3).
    TForm2* Form2 = nullptr;
    // Set when FormCreate ended the process.
    bool terminated = false;

    void FormCreate();
    bool FormCanResize(int newWidth, int newHeight);
    void btnClick();
    void sbClick();
    void stopClick();
    void FormClose();

    // RunWindow
    void setVisible(RunControl control, bool visible) override;
    void setEnabled(RunControl control, bool enabled) override;
    bool isChecked(RunControl control) override;
    void terminateProgram(int exitCode) override;
    std::u16string statusText() override;
    void setStatusText(const std::u16string& text) override;
    std::int32_t progressPosition() override;
    void setProgressPosition(std::int32_t position) override;
    std::int32_t progressMax() override;
    void setProgressMax(std::int32_t max) override;
    void setProgressState(std::uint8_t state) override;
    void pumpMessages() override;
    void showMessage(const std::u16string& text) override;

  private:
    platform::Control* control(RunControl which);

    platform::Toolkit& toolkit_;
    TForm1Environment environment_;
    bool running_ = false;  // inside btnClick
    bool closed_ = false;   // the main window was closed during a run
};

