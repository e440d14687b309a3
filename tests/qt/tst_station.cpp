// The station as the windows and the headless mode drive it: start-up order,
// live frames through a local engine, uploads to a local server, shut-down.

#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <optional>

#include "base/system_clock.h"
#include "sim/sample_recording.h"
#include "station/station.h"
#include "intake/agw_link.h"
#include "sim/modem_simulator.h"
#include "kisslog/kiss.h"
#include "kisslog/kiss_file_reader.h"
#include "sim/telemetry_sink.h"

using namespace varne4;
using Octets = std::vector<std::uint8_t>;

namespace {

class ListSource final : public FrameSource {
public:
    explicit ListSource(std::vector<Octets> frames) : frames_(std::move(frames)) {}
    std::optional<Octets> nextFrame() override {
        if (next_ >= frames_.size()) return std::nullopt;
        return frames_[next_++];
    }
    int pauseMs() const override { return 0; }

private:
    std::vector<Octets> frames_;
    std::size_t next_ = 0;
};

QString writeConfig(const QTemporaryDir& dir, const QByteArray& text) {
    const QString path = dir.filePath("online_conf.ini");
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text);
    return path;
}

std::vector<Octets> framesOf(const std::filesystem::path& path, int* timeStamps = nullptr) {
    std::vector<Octets> frames;
    KissFileReader reader;
    if (!reader.open(path)) return frames;
    while (auto item = reader.next()) {
        if (item->kind == KissFileReader::Kind::Frame) frames.emplace_back(item->content.begin(), item->content.end());
        else if (timeStamps && item->kind == KissFileReader::Kind::TimeStamp) ++*timeStamps;
    }
    return frames;
}

const DateTime kNow{2026, 12, 5, 3, 36, 34, 678};

// A station started on a configuration file; `error` says why start-up failed.
struct StartedStation {
    StartedStation(const QString& configPath, const Clock& clock) : station(clock, format) {
        StationOptions options;
        options.configPath = configPath.toStdString();
        error = station.startUp(options);
    }
    DisplayFormat format;
    Station station;
    std::optional<ConfigError> error;
};

} // namespace

class TestStation : public QObject {
    Q_OBJECT
private slots:
    void startUpLogsInOrderAndCreatesTheLogBesideTheConfiguration();
    void startUpFailuresStopAtTheirStep_data();
    void startUpFailuresStopAtTheirStep();
    void liveFramesAreLoggedDecodedAndPostedToBothServers_data();
    void liveFramesAreLoggedDecodedAndPostedToBothServers();
    void uploadTimeoutComesFromTheConfiguration();
    void shutDownKeepsALogThatHoldsFrames();
    void headlessPrintsTheLogAndExitsCleanlyOnTerminate();
    void headlessStartUpFailureGoesToStandardError();
};

void TestStation::startUpLogsInOrderAndCreatesTheLogBesideTheConfiguration() {
    QTemporaryDir dir;
    const QString config = writeConfig(dir, "# station\r\nPORT = 127.0.0.1:1\r\nSERVER=http://x/\r\nMYCALL=OK1/X\r\n"
                                             "QTH_LAT=50,5\r\nQTH_LONG=14.4\r\n");
    FixedClock clock(kNow);
    StartedStation started(config, clock);
    Station& station = started.station;
    QVERIFY(!started.error);

    QCOMPARE(station.statusLog().size(), 3u);
    QCOMPARE(station.statusLog().line(0), std::string("2026-12-05 03:36:34.678: Winsock RemotePort: 1"));
    QCOMPARE(station.statusLog().line(1), std::string("2026-12-05 03:36:34.678: Winsock RemoteHost: 127.0.0.1"));
    QCOMPARE(station.statusLog().line(2),
             std::string("2026-12-05 03:36:34.678: 127.0.0.1:1 | http://x/ | OK1/X | 50.5 | 14.4"));
    // The callsign's "/" cannot stand in a file name.
    QCOMPARE(QString::fromStdString(station.kissLogPath().string()), dir.filePath("OK1_X_05122026_0336.kss"));
    QVERIFY(std::filesystem::exists(station.kissLogPath()));
    QCOMPARE(std::filesystem::file_size(station.kissLogPath()), 0u);
}

void TestStation::startUpFailuresStopAtTheirStep_data() {
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("logLines");
    QTest::addColumn<QString>("description");
    QTest::newRow("no PORT") << QByteArray("# nothing\r\n") << 1 << "PORT is missing";
    QTest::newRow("PORT without colon") << QByteArray("PORT=localhost\r\n") << 1 << "PORT has no \":\": localhost";
    QTest::newRow("line without =") << QByteArray("PORT=localhost:8000\r\nnonsense\r\n") << 0 << "line 2 has no";
    // A KISS port replaces PORT, so its own faults are named, even beside a good PORT.
    QTest::newRow("KISS_TCP without colon") << QByteArray("PORT=localhost:8000\r\nKISS_TCP=localhost\r\n") << 1
                                            << "KISS_TCP has no \":\": localhost";
    QTest::newRow("KISS_TCP port not a number") << QByteArray("KISS_TCP=localhost:kiss\r\n") << 1
                                                << "the port of KISS_TCP is not a number";
}

void TestStation::startUpFailuresStopAtTheirStep() {
    QFETCH(QByteArray, config);
    QFETCH(int, logLines);
    QFETCH(QString, description);
    QTemporaryDir dir;
    FixedClock clock(kNow);
    StartedStation started(writeConfig(dir, config), clock);
    Station& station = started.station;
    const auto& error = started.error;
    QVERIFY(error);
    QVERIFY(openErrorText(*error).starts_with("The following error occured: \r\nError # "));
    QVERIFY2(QString::fromStdString(error->description).contains(description), error->description.c_str());
    QCOMPARE(station.statusLog().size(), static_cast<std::size_t>(logLines));
    QVERIFY(!station.kissLogOpen());
    QVERIFY(station.link().isClosed());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"online_conf.ini"});
}

void TestStation::liveFramesAreLoggedDecodedAndPostedToBothServers_data() {
    QTest::addColumn<bool>("kiss");
    QTest::newRow("AGW") << false;
    QTest::newRow("KISS TCP") << true;
}

void TestStation::liveFramesAreLoggedDecodedAndPostedToBothServers() {
    QFETCH(bool, kiss);
    HousekeepingSample hk;
    hk.uptime = 93784;
    const std::vector<Octets> sent{
        withPortByte(makeHousekeepingFrame(hk)),
        withPortByte(makeStationFrame("APRS", "OK1ABC-9", "", "!5005.00N/01425.00E-")),
        withPortByte(makeMemoryCheckFrame({0, 60, 0, 0, 0, 4294967295u})),
        Octets{0x00}, // a raw frame with the port byte only
    };
    ModemSimulator engine(std::make_unique<ListSource>(sent));
    engine.setRate(1000);
    TelemetrySink sink;
    QVERIFY(kiss ? engine.listenKiss() : engine.listen());
    QVERIFY(sink.listen());

    QTemporaryDir dir;
    // With a KISS port named, PORT (here pointing nowhere) is not used.
    const QString link = kiss ? QStringLiteral("PORT=127.0.0.1:1\r\nKISS_TCP=127.0.0.1:%1\r\n").arg(engine.kissPort())
                              : QStringLiteral("PORT=127.0.0.1:%1\r\n").arg(engine.port());
    const QString config = writeConfig(dir, (link + QStringLiteral("SERVER=http://127.0.0.1:%1/a\r\n"
                                                                   "SERVER_BACKUP=http://127.0.0.1:%1/b\r\nMYCALL=T1\r\n")
                                                        .arg(sink.port()))
                                                .toLatin1());
    SystemClock clock;
    StartedStation started(config, clock);
    Station& station = started.station;
    QVERIFY(!started.error);
    QSignalSpy bodies(&sink, &TelemetrySink::bodyReceived);
    QTRY_COMPARE_WITH_TIMEOUT(bodies.size(), 4, 10000);
    QTRY_COMPARE(station.pipeline().postOkCounter(), 4);

    // Every raw frame in the log, each after its own time stamp, byte for byte.
    station.closeKissLog();
    int stamps = 0;
    const auto logged = framesOf(station.kissLogPath(), &stamps);
    QCOMPARE(stamps, 4);
    QCOMPARE(logged.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) QVERIFY(logged[i] == sent[i]);

    QCOMPARE(station.pipeline().rxCounter(), 2u);
    QCOMPARE(station.pipeline().counterLineText(), std::string("RX packets: 2 | HTTP POST OK: 4"));
    QCOMPARE(station.hexMonitor().size(), 4u);
    QCOMPARE(station.hexMonitor().back(), std::string());
    QCOMPARE(station.pipeline().panel().uptimeText, std::string("1d 02:03:04"));
    QCOMPARE(station.pipeline().panel().slotText[22], std::string("1900-01-01 00:01"));
    QCOMPARE(station.transferStates().last(), QStringLiteral("icResponseCompleted"));
    const std::string connected = kiss ? "KISS winsock connection made" : "AGW winsock connection made";
    bool announced = false, bothSetNoted = false;
    for (std::size_t i = 0; i < station.statusLog().size(); ++i) {
        const std::string& line = station.statusLog().line(i);
        announced = announced || line.ends_with(connected);
        bothSetNoted = bothSetNoted || line.ends_with("; KISS_TCP and PORT both set, PORT not used");
    }
    QVERIFY(announced);
    QCOMPARE(bothSetNoted, kiss);

    // Server first, then the backup, frame by frame.
    QCOMPARE(bodies[0][0].toByteArray(), QByteArray("/a"));
    QCOMPARE(bodies[1][0].toByteArray(), QByteArray("/b"));
    QCOMPARE(bodies[0][1], bodies[1][1]);
    QVERIFY(bodies[0][1].toByteArray().contains("&frame=A2 82 60 AC A4 9C 60 A2 84 60 AC A4 A6 E1 03 F0 "));
    QVERIFY(bodies[2][1].toByteArray().contains(" 68 68 "));
}

void TestStation::uploadTimeoutComesFromTheConfiguration() {
    // A server that takes the request and never answers.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    QTemporaryDir dir;
    const QString config = writeConfig(
        dir, QStringLiteral("PORT=127.0.0.1:1\r\nSERVER=http://127.0.0.1:%1/\r\nUPLOAD_TIMEOUT=1\r\n")
                 .arg(silent.serverPort())
                 .toLatin1());
    SystemClock clock;
    StartedStation started(config, clock);
    Station& station = started.station;
    QVERIFY(!started.error);
    QStringList lines;
    connect(&station, &Station::statusLine, this, [&lines](const QString& line) { lines << line; });
    station.postCurrentBody();
    // Well before the 60 s a run without the key waits.
    QTRY_VERIFY_WITH_TIMEOUT(!lines.filter(" 0: Transfer timed out after 1000 ms").isEmpty(), 8000);
}

void TestStation::shutDownKeepsALogThatHoldsFrames() {
    QTemporaryDir dir;
    const QString config = writeConfig(dir, "PORT=127.0.0.1:1\r\nMYCALL=Z\r\n");
    FixedClock clock(kNow);
    StartedStation started(config, clock);
    Station& station = started.station;
    QVERIFY(!started.error);
    station.takeLiveFrame(withPortByte(makeStationFrame("CQ", "OK1ABC", "", "hello")));
    station.shutDown();
    station.shutDown(); // a second close finds nothing more to do
    QVERIFY(station.link().isClosed());
    QVERIFY(QFile::exists(dir.filePath("Z_05122026_0336.kss")));
}

void TestStation::headlessPrintsTheLogAndExitsCleanlyOnTerminate() {
#ifdef Q_OS_WIN
    QSKIP("terminate() sends WM_CLOSE on Windows");
#endif
    QTemporaryDir dir;
    const QString config = writeConfig(dir, "PORT=127.0.0.1:1\r\nMYCALL=HL\r\n");
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(VARNE4_BINARY, {"--headless", "--no-upload", "--config", config});
    QVERIFY(p.waitForStarted());
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += p.readAllStandardOutput()).contains("Winsock Error"), 10000);
    p.terminate();
    QVERIFY(p.waitForFinished(10000));
    out += p.readAllStandardOutput();
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);

    const QList<QByteArray> lines = out.trimmed().split('\n');
    QVERIFY(lines.size() >= 5);
    // Oldest first, as each entry entered the log.
    QVERIFY(lines[0].endsWith(": 127.0.0.1:1 |  | HL |  | "));
    QVERIFY(lines[1].endsWith(": Winsock RemoteHost: 127.0.0.1"));
    QVERIFY(lines[2].endsWith(": Winsock RemotePort: 1"));
    QCOMPARE(lines.last(), QByteArray("RX packets: 0 | HTTP POST OK: 0"));
    // The run's empty KISS log is gone; nothing else was written.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"online_conf.ini"});
}

void TestStation::headlessStartUpFailureGoesToStandardError() {
    QTemporaryDir dir;
    const QString config = writeConfig(dir, "PORT=nowhere\r\n");
    QProcess p;
    p.start(VARNE4_BINARY, {"--headless", "--config", config});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    const QByteArray err = p.readAllStandardError();
    QVERIFY(err.contains("Open Error"));
    QVERIFY(err.contains("online_conf.ini PORT has no \":\""));
}

QTEST_GUILESS_MAIN(TestStation)
#include "tst_station.moc"
