// The state of one download run, shared by the run itself, the transfer engine and the
// installer hand-off; and what a run needs of the main window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class BodySink;

// One file to fetch.
struct tf {
    std::u16string url;
    std::u16string name;  // full local path
    std::u16string ver;   // the manifest key: the product's version, or "sql"
};

enum class TextEncoding { Ansi, Utf8Bom, Utf16LeBom, Utf16BeBom };

// The main window's controls that a run shows, hides, enables or reads.
enum class RunControl { btn, stop, sb, pb, sql, silent, lpr };

// The parts of the main window that a run writes and reads: its controls, the status label
// `lpr`, the progress bar `pb`, the message pump, the program's modal message box and the end
// of the process after a successful hand-off.
class RunWindow {
  public:
    virtual ~RunWindow() = default;
    virtual void setVisible(RunControl control, bool visible) = 0;
    virtual void setEnabled(RunControl control, bool enabled) = 0;
    virtual bool isChecked(RunControl control) = 0;  // sql, silent
    // Ends the process with this exit code (does not return in the program; fakes record it).
    virtual void terminateProgram(int exitCode) = 0;
    virtual std::u16string statusText() = 0;
    virtual void setStatusText(const std::u16string& text) = 0;
    virtual std::int32_t progressPosition() = 0;
    virtual void setProgressPosition(std::int32_t position) = 0;
    virtual std::int32_t progressMax() = 0;
    virtual void setProgressMax(std::int32_t max) = 0;
    // 0 pbstMarquee, 1 pbstNormal, 2 pbstError, 3 pbstPaused
    virtual void setProgressState(std::uint8_t state) = 0;
    virtual void pumpMessages() = 0;
    // Modal, application title as caption, one OK button.
    virtual void showMessage(const std::u16string& text) = 0;
};

struct DownloadRun {
    explicit DownloadRun(RunWindow& window) : window(window) {}

    RunWindow& window;
    bool RunOk = true;
    bool UseHttps = true;
    std::vector<tf> items;
    std::vector<std::u16string> fileHashes;  // per item, its hash line's value; empty: none
    std::int32_t index = 0;
    std::string stream;        // the body of the last transfer held in memory, whole
    BodySink* sink = nullptr;  // where the next transfer's body goes instead, if set
    // The most the next transfer's body may be: an answer that announces or brings more ends at
    // once with this message (always shown: it is never a failure of the network).
    struct Cap {
        std::uint64_t bytes = UINT64_MAX;
        std::int32_t failure = 0;
        std::u16string message;
    } cap;
    std::int32_t failure = 0;  // the number of the last transfer's failure; 0: none
    std::vector<std::u16string> lines;
    TextEncoding linesEncoding = TextEncoding::Ansi;  // how `lines` was read
};
