#include "app/gui_main.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

#include "app/signal_watcher.h"
#include "base/qt_text.h"
#include "base/system_clock.h"
#include "sim/demo_services.h"
#include "station/station.h"
#include "ui/main_window.h"
#include "ui/qt_display_format.h"
#include "web/web_view.h"

namespace varne4 {

int runGui(int& argc, char** argv, const StationCommandLine& options) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("varne4-decoder");
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("varne4-decoder"));

    // Caught from the start: a signal during start-up waits for the event loop.
    SignalWatcher watcher;
    // Declared before the station so the demo's services outlive it on every path.
    DemoServices demo;
    SystemClock clock;
    ui::QtDisplayFormat format;
    Station station(clock, format);

    StationOptions stationOptions = stationOptionsFor(options);
    if (options.demo && !startDemo(demo, stationOptions)) return 1;

    ui::MainWindow window(station, stationOptions);
    if (options.demo) {
        station.log(utf8(demo.statusText()));
        window.setWindowTitle(window.windowTitle() + " - demo mode");
    }
    // The station's, not the window's: it reads the station, as the window does.
    const auto webView = window.startUpSucceeded() ? web::startWebView(station) : nullptr;
    window.show();
    if (options.screenshotAfterSeconds > 0)
        QTimer::singleShot(options.screenshotAfterSeconds * 1000, &window, [&window, &options] {
            const QString file = QString::fromStdU16String(options.screenshotFile.u16string());
            if (!window.grab().save(file, "png"))
                std::fprintf(stderr, "varne4-decoder: cannot write %s\n", qPrintable(file));
            window.close();
        });

    // A log-off or kill closes the window as its close button does.
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &window, &QWidget::close);
    return QApplication::exec();
}

} // namespace varne4
