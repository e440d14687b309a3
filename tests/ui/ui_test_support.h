#pragma once
// Helpers for the window tests: a station in a scratch folder, satellite frames.

#include <QLineEdit>
#include <QRadioButton>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/station.h"
#include "core/test_support.h"
#include "decode/beacon_table.h"
#include "intake/frame_pipeline.h"
#include "ui/main_window.h"

namespace varne4::test {

inline constexpr DateTime kStart{2024, 5, 6, 7, 8, 9, 10};
inline constexpr const char* kStartStamp = "2024-05-06 07:08:09.010";

// A satellite frame (AX.25, destination first) of `length` bytes with the two type bytes.
inline ByteVector satelliteFrame(std::uint8_t type1, std::uint8_t type2, std::size_t length) {
    ByteVector f(length, 0);
    std::copy(kSatelliteHeader.begin(), kSatelliteHeader.end(), f.begin());
    f[15] = 0xF0;
    f[kTypeOffset1] = type1;
    f[kTypeOffset2] = type2;
    return f;
}

// A housekeeping beacon with the state byte and the OBC temperature byte (half degrees).
inline ByteVector housekeepingFrame(std::uint8_t state, std::int8_t obcHalfDegrees) {
    ByteVector f = satelliteFrame(0x64, 0x64, kHousekeepingLength + 1);
    f[35] = state;
    f[50] = static_cast<std::uint8_t>(obcHalfDegrees);
    return f;
}

inline ByteVector messageFrame(std::string_view text) {
    // The frame's last byte is not part of the message.
    ByteVector f = satelliteFrame(0x04, 0x67, kMessageOffset + text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i)
        f[kMessageOffset + i] = static_cast<std::uint8_t>(text[i]);
    return f;
}

// What the AGW link hands on: the port byte, then the frame.
inline ByteVector liveData(const ByteVector& frame) {
    ByteVector data{0};
    data.insert(data.end(), frame.begin(), frame.end());
    return data;
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
    QColor boxColor(int slot) const { return text1(slot)->palette().color(QPalette::Base); }
    QStringList markedOptions() const {
        QStringList marked;
        for (int i = 0; i < kHousekeepingSlots; ++i)
            if (option1(i)->isChecked()) marked << option1(i)->objectName();
        return marked;
    }
    QStringList yellowBoxes() const {
        QStringList yellow;
        for (int i = 0; i < kHousekeepingSlots; ++i)
            if (boxColor(i) == QColor(255, 255, 192)) yellow << text1(i)->objectName();
        return yellow;
    }
    void live(const ByteVector& frame) {
        const ByteVector data = liveData(frame);
        station.takeLiveFrame(data);
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
