#pragma once
// Helpers for the window tests: a station with its window in a scratch folder.

#include <QLineEdit>
#include <QRadioButton>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/test_support.h"
#include "decode/beacon_table.h"
#include "sim/sample_recording.h"
#include "station/station.h"
#include "ui/main_window.h"

namespace varne4::test {

inline constexpr DateTime kStart{2024, 5, 6, 7, 8, 9, 10};
inline constexpr const char* kStartStamp = "2024-05-06 07:08:09.010";

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

// One station with its window, in a folder of its own.
struct WindowRig {
    explicit WindowRig(const std::string& config, bool uploadAllowed = false, bool writeConfig = true)
        : clock(kStart), station(clock, format) {
        options.configPath = folder / "online_conf.ini";
        options.uploadAllowed = uploadAllowed;
        if (writeConfig) writeFile(options.configPath, config);
        window = std::make_unique<ui::MainWindow>(station, options, [this](const QString& title, const QString& text) {
            errors.append(title + QLatin1Char('|') + text);
        });
    }
    ~WindowRig() {
        window.reset();
        station.shutDown();
    }

    template <typename T> T* find(const QString& name) const { return window->findChild<T*>(name); }
    QLineEdit* text1(int slot) const { return find<QLineEdit>(QStringLiteral("Text1_%1").arg(slot)); }
    QRadioButton* option1(int slot) const { return find<QRadioButton>(QStringLiteral("Option1_%1").arg(slot)); }
    // The marked options and the highlighted (yellow) boxes, by name.
    QStringList marks() const {
        QStringList names;
        for (int i = 0; i < kHousekeepingSlots; ++i) {
            if (option1(i)->isChecked()) names << option1(i)->objectName();
            if (text1(i)->palette().color(QPalette::Base) == QColor(255, 255, 192)) names << text1(i)->objectName();
        }
        return names;
    }
    void live(const ByteVector& frame) {
        station.takeLiveFrame(withPortByte(frame));
        window->flushPanel(); // as the next pass of the event loop would
    }
    std::vector<std::filesystem::path> kissLogs() const {
        std::vector<std::filesystem::path> logs;
        for (const auto& e : std::filesystem::directory_iterator(folder.path()))
            if (e.path().extension() == ".kss") logs.push_back(e.path());
        return logs;
    }

    ScratchFolder folder;
    FixedClock clock;
    DisplayFormat format;
    Station station;
    StationOptions options;
    QStringList errors;
    std::unique_ptr<ui::MainWindow> window;
};

} // namespace varne4::test
