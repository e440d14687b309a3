#include "app/headless_station.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

#include "app/line_writer.h"
#include "app/signal_watcher.h"
#include "base/compat_texts.h"
#include "base/safe_text.h"
#include "base/system_clock.h"
#include "sim/demo_services.h"
#include "station/station.h"
#include "station/store_and_forward.h"
#include "web/web_view.h"

namespace varne4 {

namespace {
// How long shut-down waits for standard output to take the last lines.
constexpr std::chrono::seconds kOutputGrace{2};
} // namespace

int runHeadless(const StationCommandLine& options) {
    // First: from now on a closed output is an error to handle, not a death by SIGPIPE.
    SignalWatcher watcher;
    LineWriter output(stdout);
    // Declared after the output, so they are gone before it; the demo's services
    // outlive the station on every path.
    DemoServices demo;
    SystemClock clock;
    DisplayFormat format;
    Station station(clock, format);
    QObject::connect(&station, &Station::statusLine, [&output](const QString& line, bool) {
        // Peers' texts are escaped where they enter; this catches the rest (a file name, say).
        output.write(escapeControls(line.toStdString()));
    });
    // The run goes on; the problem goes where an "Open Error" goes without windows.
    QObject::connect(&station, &Station::databaseProblem, [](const QString& text) {
        std::string lines = text.toStdString();
        std::erase(lines, '\r');
        std::fprintf(stderr, "%s\n%s\n", std::string(texts::kOpenErrorTitle).c_str(), lines.c_str());
    });

    QObject::connect(&watcher, &SignalWatcher::terminationRequested, qApp, &QCoreApplication::quit);

    StationOptions stationOptions = stationOptionsFor(options);
    stationOptions.retention = Retention::headless();
    if (options.demo && !startDemo(demo, stationOptions)) return 1;
    if (auto error = station.startUp(stationOptions)) {
        std::string text;
        for (char c : openErrorText(*error))
            if (c != '\r') text += c; // a terminal wants LF line ends
        std::fprintf(stderr, "%s\n%s\n", std::string(texts::kOpenErrorTitle).c_str(), text.c_str());
        return 1;
    }

    if (options.demo) station.log(demo.statusText().toStdString());
    // Gone before the station it reads.
    const auto webView = web::startWebView(station);

    QCoreApplication::exec();

    station.cancelTransfers();
    station.shutDown();
    std::string line = station.pipeline().counterLineText();
    if (line.empty())
        line = counterLine(texts::kLivePrefix, station.pipeline().rxCounter(), station.pipeline().postOkCounter());
    output.write(line);
    if (!output.finish(kOutputGrace)) {
        // Nobody reads our output: the station's files are closed, so end without
        // waiting on a writer that may never return.
        std::fflush(stderr);
        std::_Exit(0);
    }
    return 0;
}

} // namespace varne4
