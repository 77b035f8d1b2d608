// The settings window TForm2: edits the proxy mode and the manual proxy in ProxySettings.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Widgets.h"

class TForm2 {
  public:
    // mainWindow is enabled again whenever this window closes; showMessage shows a modal
    // message with the application title.
    TForm2(platform::Widgets& widgets, platform::Control& mainWindow,
           std::function<void(const std::u16string&)> showMessage);

    std::unique_ptr<platform::Form> form;
    std::unique_ptr<platform::RadioGroup> RadioGroup1;
    std::unique_ptr<platform::GroupBox> GroupBox1;
    std::unique_ptr<platform::Label> Label1;
    std::unique_ptr<platform::Label> Label2;
    std::unique_ptr<platform::Label> Label3;
    std::unique_ptr<platform::Label> Label4;
    std::unique_ptr<platform::Edit> Edit1;
    std::unique_ptr<platform::SpinEdit> SpinEdit1;
    std::unique_ptr<platform::Edit> Edit2;
    std::unique_ptr<platform::Edit> Edit3;
    std::unique_ptr<platform::Button> Button1;
    std::unique_ptr<platform::Button> Button2;

    void FormActivate();
    void RadioGroup1Click();
    void Button1Click();
    void Button2Click();
    void FormClose();
    bool FormCanResize(int newWidth, int newHeight);

  private:
    void enableManualGroup();

    platform::Control& mainWindow_;
    std::function<void(const std::u16string&)> showMessage_;
};
