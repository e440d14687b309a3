#include "app/headless_station.h"

#include <QCoreApplication>

#include <cstdio>

#include "app/signal_watcher.h"
#include "base/compat_texts.h"
#include "base/system_clock.h"
#include "sim/demo_services.h"
#include "station/station.h"
#include "upload/upload_queue.h"

namespace varne4 {

int runHeadless(const StationCommandLine& options) {
    // Declared first so the demo's services outlive the station on every path.
    DemoServices demo;
    SystemClock clock;
    DisplayFormat format;
    Station station(clock, format);
    QObject::connect(&station, &Station::statusLine, [](const QString& line, bool) {
        const QByteArray bytes = line.toUtf8();
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });

    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, qApp, &QCoreApplication::quit);

    StationOptions stationOptions = stationOptionsFor(options);
    if (options.demo && !startDemo(demo, stationOptions)) return 1;
    if (auto error = station.startUp(stationOptions)) {
        std::string text;
        for (char c : openErrorText(*error))
            if (c != '\r') text += c; // a terminal wants LF line ends
        std::fprintf(stderr, "Open Error\n%s\n", text.c_str());
        return 1;
    }

    if (options.demo) station.log(demo.statusText().toStdString());

    QCoreApplication::exec();

    station.cancelTransfers();
    station.shutDown();
    std::string line = station.pipeline().counterLineText();
    if (line.empty())
        line = counterLine(texts::kLivePrefix, station.pipeline().rxCounter(), station.pipeline().postOkCounter());
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    return 0;
}

} // namespace varne4
