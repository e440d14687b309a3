#pragma once
// A station with its main window in a scratch folder, for the window tests.

#include <QLineEdit>
#include <QRadioButton>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/compat_texts.h"
#include "base/qt_text.h"
#include "decode/beacon_table.h"
#include "sim/sample_recording.h"
#include "station/station.h"
#include "support/test_support.h"
#include "ui/main_window.h"

namespace varne4::test {

// A housekeeping beacon with the state byte and the OBC temperature (half degrees).
inline ByteVector housekeepingFrame(std::uint8_t state, std::int8_t obcHalfDegrees) {
    HousekeepingSample s;
    s.state = state;
    s.temps[0] = obcHalfDegrees;
    return makeHousekeepingFrame(s);
}

inline std::string validConfig() {
    return "PORT=127.0.0.1:1\r\nSERVER=\r\nMYCALL=QX7TR\r\nQTH_LAT=48,5\r\nQTH_LONG=11.25\r\n";
}

// The KISS logs in a folder: a started station keeps one for its run.
inline std::vector<std::filesystem::path> kissLogsIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> logs;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().extension() == ".kss") logs.push_back(e.path());
    return logs;
}

inline QString qpath(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

struct WindowRig {
    // `config` empty: no configuration file at all.
    // `displayFormat`: how the panel writes numbers and dates; the fixed forms when none is given.
    explicit WindowRig(const std::string& config, bool uploadAllowed = false,
                       std::unique_ptr<DisplayFormat> displayFormat = nullptr)
        : clock(DateTime{2024, 5, 6, 7, 8, 9, 10}),
          format(displayFormat ? std::move(displayFormat) : std::make_unique<DisplayFormat>()),
          station(clock, *format) {
        options.configPath = folder / texts::kConfigFileName;
        options.uploadAllowed = uploadAllowed;
        if (!config.empty()) writeFile(options.configPath, config);
        window = std::make_unique<ui::MainWindow>(station, options, [this](const QString& title, const QString& text) {
            errors.append(title + QLatin1Char('|') + text);
        });
    }
    ~WindowRig() {
        window.reset();
        station.shutDown();
    }

    template <typename T> T* find(const QString& name) const { return window->findChild<T*>(name); }
    QLineEdit* valueBox(int slot) const { return find<QLineEdit>(QStringLiteral("Text1_%1").arg(slot)); }
    QRadioButton* chartOption(int slot) const { return find<QRadioButton>(QStringLiteral("Option1_%1").arg(slot)); }
    // The marked options and the highlighted (yellow) boxes, by name.
    QStringList marks() const {
        QStringList names;
        for (int i = 0; i < kHousekeepingSlots; ++i) {
            if (chartOption(i)->isChecked()) names << chartOption(i)->objectName();
            if (valueBox(i)->palette().color(QPalette::Base) == QColor(255, 255, 192))
                names << valueBox(i)->objectName();
        }
        return names;
    }
    void live(const ByteVector& frame) {
        station.takeLiveFrame(withPortByte(frame));
        window->flushPanel(); // as the next pass of the event loop would
    }

    ScratchFolder folder;
    FixedClock clock;
    std::unique_ptr<DisplayFormat> format;
    Station station;
    StationOptions options;
    QStringList errors;
    std::unique_ptr<ui::MainWindow> window;
};

} // namespace varne4::test
