#pragma once
// What the Qt-driven tests share: AGW and KISS byte streams taken apart, a list of
// frames to play, a raw socket peer, a started station, a run of the built program.

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTcpSocket>

#include "intake/agw_frame.h"
#include "kisslog/kiss.h"
#include "sim/frame_source.h"
#include "station/station.h"
#include "support/test_support.h"

namespace varne4::test {

inline QByteArray toQt(std::span<const std::uint8_t> bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}
inline std::span<const std::uint8_t> bytesIn(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
}

inline QByteArray agwRequest(char kind) { return toQt(agw::request(kind)); }

// The whole AGW frames in a byte stream, and the data of the raw ('K') ones among them.
inline std::vector<agw::Frame> agwFramesIn(const QByteArray& stream) {
    agw::FrameSplitter splitter;
    splitter.feed(bytesIn(stream));
    std::vector<agw::Frame> frames;
    for (agw::Frame f; splitter.next(f) == agw::FrameSplitter::Result::Frame;)
        frames.push_back(f);
    return frames;
}
inline std::vector<ByteVector> rawFramesIn(const QByteArray& agwStream) {
    std::vector<ByteVector> raw;
    for (const auto& f : agwFramesIn(agwStream))
        if (f.kind == 'K') raw.push_back(f.data);
    return raw;
}
inline std::vector<ByteVector> kissRecordsIn(const QByteArray& stream) {
    kiss::RecordSplitter splitter;
    auto in = bytesIn(stream);
    std::vector<ByteVector> records;
    while (auto record = splitter.next(in))
        records.emplace_back(record->content.begin(), record->content.end());
    return records;
}

// Writes a byte at a time, the receiving side given its turn after each.
inline void trickle(QTcpSocket& socket, const QByteArray& bytes) {
    for (char byte : bytes) {
        socket.write(&byte, 1);
        socket.flush();
        QCoreApplication::processEvents();
    }
}

inline QString qPath(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }
inline QStringList fileNames(const std::filesystem::path& folder) {
    return QDir(qPath(folder)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Plays a fixed list of frames once, `pauseMs` apart.
struct ListSource final : FrameSource {
    explicit ListSource(std::vector<ByteVector> frames, int pauseMs = 0) : frames(std::move(frames)), pause(pauseMs) {}
    std::optional<ByteVector> nextFrame() override {
        return next < frames.size() ? std::optional(frames[next++]) : std::nullopt;
    }
    int pauseMs() const override { return pause; }
    std::vector<ByteVector> frames;
    int pause;
    std::size_t next = 0;
};

// A raw client of a loopback server: sends `first`, keeps everything it receives.
struct SocketPeer {
    explicit SocketPeer(quint16 port, const QByteArray& first = {}) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { got += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(3000);
        socket.write(first);
        socket.flush();
    }
    bool closed() const { return socket.state() == QAbstractSocket::UnconnectedState; }
    QTcpSocket socket;
    QByteArray got;
};

inline constexpr DateTime kNow{2026, 12, 5, 3, 36, 34, 678};

// A station started on `config`, written as online_conf.ini into a folder of its own.
struct StationRig {
    explicit StationRig(const QString& config, bool uploadAllowed = true) {
        writeFile(folder / "online_conf.ini", config.toStdString());
        error = station.startUp({.configPath = folder / "online_conf.ini", .uploadAllowed = uploadAllowed});
    }
    bool logged(const QString& text) const {
        return station.statusLog().text().find(text.toStdString()) != std::string::npos;
    }
    ScratchFolder folder;
    FixedClock clock{kNow};
    DisplayFormat format;
    Station station{clock, format};
    std::optional<ConfigError> error; // why start-up failed
};

// The built program in a process of its own; what it writes is kept as it comes.
struct ProgramRun {
    explicit ProgramRun(const QStringList& args, const QString& workDir = {},
                        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { out += process.readAllStandardOutput(); });
        QObject::connect(&process, &QProcess::readyReadStandardError,
                         [this] { err += process.readAllStandardError(); });
        process.setWorkingDirectory(workDir);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VARNE4_BINARY), args);
    }
    bool running() const { return process.state() != QProcess::NotRunning; }
    // Waits for the end: the exit code, or -1 when it crashed or hung.
    int finish(int ms = 120000) {
        if (running() && !process.waitForFinished(ms)) process.kill(), process.waitForFinished();
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
        const bool clean = process.exitStatus() == QProcess::NormalExit && process.error() == QProcess::UnknownError;
        return clean ? process.exitCode() : -1;
    }
    // Terminates it as a service manager would; true when it then exits cleanly.
    bool stop() {
        if (running()) process.terminate();
        return finish(15000) == 0;
    }
    QProcess process;
    QByteArray out, err;
};

} // namespace varne4::test
