// HttpGet scripted by URL for the run's own tests, linked instead of the engine.
#include "RunTestSupport.h"
#include "net/BodySink.h"
#include "net/HttpGet.h"
#include "settings/ProxySettings.h"

// The transfer engine as the run sees it: the scripted answer lands in the run's sink, or its
// stream when it has none.
void HttpGet(DownloadRun& run, const std::u16string& url, bool showProgress, bool showErrors) {
    auto& http = runtest::scriptedHttp();
    http.calls.push_back({url, showProgress, showErrors});
    run.window.setStatusText(u"");
    run.stream.clear();
    const auto found = http.answers.find(url);
    if (found == http.answers.end() || !found->second.ok) {
        if (showErrors) run.window.showMessage(u"Не вдалося отримати дані (2).");
        run.RunOk = false;
        return;
    }
    if (found->second.during) found->second.during();
    run.window.pumpMessages();
    if (StopRequested) {
        run.window.showMessage(u"Зупинено користувачем.");
        run.RunOk = false;
        return;
    }
    int error = 0;
    if (run.sink && !(run.sink->clear(error) && run.sink->append(found->second.body.data(),
                                                                 found->second.body.size(), error)))
        ADD_FAILURE() << "the part file refused the body: " << error;
    if (!run.sink) run.stream = found->second.body;
    if (found->second.after) found->second.after();
}
