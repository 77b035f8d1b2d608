// A recording stand-in for the main window as a run sees it: control states, the label, the
// progress bar's history, the message boxes shown and the exit code asked for. A pump can act
// as the user (press stop) through onPump.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "run/DownloadRun.h"

namespace fakes {

class FakeRunWindow final : public RunWindow {
  public:
    FakeRunWindow() {
        for (auto c : {RunControl::btn, RunControl::sb, RunControl::sql, RunControl::silent,
                       RunControl::lpr}) {
            visible[c] = true;
        }
        for (auto c : {RunControl::btn, RunControl::stop, RunControl::sb, RunControl::pb,
                       RunControl::sql, RunControl::silent, RunControl::lpr}) {
            enabled[c] = true;
        }
        checked[RunControl::sql] = true;
        checked[RunControl::silent] = true;
    }

    void setVisible(RunControl control, bool value) override { visible[control] = value; }
    void setEnabled(RunControl control, bool value) override { enabled[control] = value; }
    bool isChecked(RunControl control) override { return checked[control]; }
    void terminateProgram(int code) override { exitCode = code; }
    std::u16string statusText() override { return status; }
    void setStatusText(const std::u16string& value) override {
        status = value;
        statusHistory.push_back(value);
    }
    std::int32_t progressPosition() override { return position; }
    void setProgressPosition(std::int32_t value) override {
        position = value;
        positions.push_back(value);
    }
    std::int32_t progressMax() override { return max; }
    void setProgressMax(std::int32_t value) override { max = value; }
    void setProgressState(std::uint8_t value) override {
        state = value;
        states.push_back(value);
    }
    void pumpMessages() override {
        ++pumps;
        if (onPump) onPump();
    }
    void showMessage(const std::u16string& text) override { messages.push_back(text); }

    // The window as the user sees it when idle.
    bool looksIdle() {
        return visible[RunControl::btn] && !visible[RunControl::stop] && visible[RunControl::sb] &&
               !visible[RunControl::pb] && visible[RunControl::sql] &&
               visible[RunControl::silent] && position == 0;
    }

    std::map<RunControl, bool> visible;
    std::map<RunControl, bool> enabled;
    std::map<RunControl, bool> checked;
    std::u16string status;
    std::vector<std::u16string> statusHistory;
    std::int32_t position = 0;
    std::int32_t max = 100;
    std::uint8_t state = 1;
    std::vector<std::int32_t> positions;
    std::vector<std::uint8_t> states;
    int pumps = 0;
    std::function<void()> onPump;
    std::vector<std::u16string> messages;
    std::optional<int> exitCode;
};

}  // namespace fakes
