#include "tools/fetch/FetchTool.h"

#include <filesystem>
#include <fstream>
#include <functional>

#include "common/Text.h"
#include "net/HttpGet.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "settings/ProxySettings.h"

namespace fetchtool {
namespace {

constexpr char kUsage[] =
    "usage: orvelle-fetch [--proxy-mode N] [--proxy-host H] [--proxy-port P] "
    "[--proxy-login L] [--proxy-password W] [--quiet] URL OUTFILE\n";

// The main window as a console sees it: the label and the bar become lines on stderr.
class ConsoleWindow final : public RunWindow {
  public:
    ConsoleWindow(std::ostream& err, bool quiet) : err_(err), quiet_(quiet) {}

    void setVisible(RunControl, bool) override {}
    void setEnabled(RunControl, bool) override {}
    bool isChecked(RunControl) override { return false; }
    void terminateProgram(int) override {}
    std::u16string statusText() override { return status_; }
    void setStatusText(const std::u16string& text) override { status_ = text; }
    std::int32_t progressPosition() override { return position_; }
    void setProgressPosition(std::int32_t position) override {
        if (position == position_) return;
        position_ = position;
        if (!quiet_) err_ << "progress: " << position << "%\n";
    }
    std::int32_t progressMax() override { return 100; }
    void setProgressMax(std::int32_t) override {}
    void setProgressState(std::uint8_t) override {}
    // The engine pumps between its steps: the moment to show a label that changed.
    void pumpMessages() override {
        if (onPump) onPump();
        if (quiet_ || status_ == shownStatus_) return;
        shownStatus_ = status_;
        if (!status_.empty()) err_ << "lpr: " << text::toUtf8(status_) << "\n";
    }
    void showMessage(const std::u16string& text) override { err_ << text::toUtf8(text) << "\n"; }

    std::function<void()> onPump;

  private:
    std::ostream& err_;
    bool quiet_;
    std::u16string status_;
    std::u16string shownStatus_;
    std::int32_t position_ = -1;
};

// Copies what the engine holds to OUTFILE.part while the transfer runs, so that writing overlaps
// receiving; the file takes its name only when the whole transfer succeeded.
class PartFile {
  public:
    // Only a regular file (or a new one) is replaced by renaming: a device such as /dev/null
    // or a named pipe must be written in place.
    explicit PartFile(const std::u16string& target)
        : target_(target), part_(std::u16string(target) + u".orvelle-part") {
        std::error_code error;
        const auto status = std::filesystem::status(target_, error);
        broken_ = std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
    }
    ~PartFile() {
        if (!finished_) discard();
    }

    void follow(const std::string& stream) {
        if (broken_) return;
        if (stream.size() < written_ || !out_.is_open()) {
            // A restarted transfer (a whole answer to a range request) begins again.
            out_.close();
            out_.open(part_, std::ios::binary | std::ios::trunc);
            created_ = true;
            written_ = 0;
        }
        if (stream.size() > written_)
            out_.write(stream.data() + written_,
                       static_cast<std::streamsize>(stream.size() - written_));
        written_ = stream.size();
        broken_ = !out_;
    }

    // True when OUTFILE now holds exactly the stream.
    bool finish(const std::string& stream) {
        follow(stream);
        out_.close();
        if (broken_ || written_ != stream.size()) return false;
        std::error_code error;
        std::filesystem::rename(part_, target_, error);
        if (error) {
            std::filesystem::remove(target_, error);
            std::filesystem::rename(part_, target_, error);
        }
        finished_ = !error;
        if (finished_) created_ = false;
        return finished_;
    }

    void discard() {
        out_.close();
        std::error_code error;
        if (created_) std::filesystem::remove(part_, error);
        created_ = false;
    }

  private:
    std::filesystem::path target_;
    std::filesystem::path part_;
    std::ofstream out_;
    std::size_t written_ = 0;
    bool broken_ = false;
    bool created_ = false;
    bool finished_ = false;
};

bool parseNumber(const std::u16string& text, std::int32_t& value) {
    return text::parseInt32(text, value);
}

}  // namespace

int run(const std::vector<std::u16string>& arguments, std::ostream& err) {
    bool quiet = false;
    std::vector<std::u16string> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        const bool takesValue = argument == u"--proxy-mode" || argument == u"--proxy-host" ||
                                argument == u"--proxy-port" || argument == u"--proxy-login" ||
                                argument == u"--proxy-password";
        if (argument == u"--quiet") {
            quiet = true;
        } else if (takesValue) {
            if (i + 1 >= arguments.size()) {
                err << "orvelle-fetch: " << text::toUtf8(argument) << " needs a value\n" << kUsage;
                return 2;
            }
            const std::u16string& value = arguments[++i];
            if (argument == u"--proxy-host") {
                ProxySettings.host = value;
            } else if (argument == u"--proxy-login") {
                ProxySettings.login = value;
            } else if (argument == u"--proxy-password") {
                ProxySettings.password = value;
            } else if (!parseNumber(value, argument == u"--proxy-mode" ? ProxySettings.mode
                                                                       : ProxySettings.port)) {
                err << "orvelle-fetch: " << text::toUtf8(argument) << " needs a number\n" << kUsage;
                return 2;
            }
        } else if (argument.size() > 2 && argument.rfind(u"--", 0) == 0) {
            err << "orvelle-fetch: unknown option " << text::toUtf8(argument) << "\n" << kUsage;
            return 2;
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2) {
        err << kUsage;
        return 2;
    }
    const std::u16string& url = positional[0];
    const std::u16string& outfile = positional[1];

    ConsoleWindow window(err, quiet);
    DownloadRun download(window);
    download.items.push_back(tf{url, outfile, u""});
    download.index = 0;
    StopRequested = false;
    PartFile part(outfile);
    window.onPump = [&part, &download] { part.follow(download.stream); };
    HttpGet(download, url, true, true);
    window.onPump = nullptr;
    if (!download.RunOk) return 1;
    if (part.finish(download.stream)) return 0;

    // The copy on the side failed (or could not be renamed): the whole stream is still here.
    part.discard();
    std::u16string errorText;
    if (!platform::get<platform::Files>().writeWhole(outfile, download.stream, errorText)) {
        err << text::toUtf8(u"Не вдалося отримати дані (11). Неможливо зберегти файл: " + errorText)
            << "\n";
        return 1;
    }
    return 0;
}

}  // namespace fetchtool
