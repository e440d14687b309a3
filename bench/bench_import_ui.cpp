// Import of a large KISS file through the window (chart on screen, uploads off):
// total time, and the longest pause of the event loop while it runs, measured by
// a 10 ms timer. Compare the time with `decode` on the same file.
//
//   build/bench/bench_import_ui [records]      (default 1,000,000)

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <fstream>

#include "base/system_clock.h"
#include "sim/sample_recording.h"
#include "station/kiss_import.h"
#include "station/station.h"
#include "ui/main_window.h"
#include "ui/qt_display_format.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::uint64_t records = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;

    QTemporaryDir dir;
    const std::filesystem::path folder = dir.path().toStdString();
    const auto file = folder / "bench.kss";
    if (!varne4::makeBenchRecording(file, records)) return 1;
    std::ofstream(folder / "online_conf.ini", std::ios::binary) << "PORT=127.0.0.1:1\r\nMYCALL=BENCH\r\n";

    varne4::SystemClock clock;
    varne4::ui::QtDisplayFormat format;
    varne4::Station station(clock, format);
    varne4::StationOptions options;
    options.configPath = folder / "online_conf.ini";
    options.uploadAllowed = false;
    varne4::ui::MainWindow window(station, options, [](const QString&, const QString&) {});
    window.show();

    QElapsedTimer sinceTick;
    qint64 longestPauseMs = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestPauseMs = std::max(longestPauseMs, sinceTick.elapsed());
        sinceTick.restart();
    });

    QObject::connect(&window.importer(), &varne4::KissImport::finished, &app, &QCoreApplication::quit);
    QElapsedTimer total;
    total.start();
    sinceTick.start();
    ticker.start();
    window.importFiles({QString::fromStdString(file.string())});
    QApplication::exec();
    const double seconds = total.nsecsElapsed() / 1e9;

    std::printf("records                 %llu\n", static_cast<unsigned long long>(records));
    std::printf("satellite frames        %llu\n", static_cast<unsigned long long>(station.pipeline().rxCounter()));
    std::printf("history rows            %zu\n", station.pipeline().history().size());
    std::printf("import time             %.2f s\n", seconds);
    std::printf("longest event pause     %lld ms (timer interval 10 ms)\n", static_cast<long long>(longestPauseMs));
    station.shutDown();
    return 0;
}
