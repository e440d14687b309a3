// The built program end to end: the demo station on its own, and the simulate
// command feeding a station of another process.

#include <QDir>
#include <QScopeGuard>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

#include "app/demo_services.h"
#include "app/sample_recording.h"
#include "app/station.h"
#include "intake/frame_pipeline.h"
#include "kisslog/kiss_file_reader.h"
#include "intake/agw_simulator.h"
#include "upload/telemetry_sink.h"

using namespace varne4;

namespace {

using Octets = std::vector<std::uint8_t>;

const QString kBinary = QStringLiteral(VARNE4_BINARY);

std::filesystem::path fsPath(const QString& path) { return std::filesystem::path(path.toStdU16String()); }

struct Recording {
    std::vector<Octets> frames;
    int timeStamps = 0;
    bool readable = false;
};

Recording readRecording(const QString& path) {
    Recording r;
    KissFileReader reader;
    if (!reader.open(fsPath(path))) return r;
    r.readable = true;
    while (auto item = reader.next()) {
        if (item->kind == KissFileReader::Kind::TimeStamp) ++r.timeStamps;
        else if (item->kind == KissFileReader::Kind::Frame) r.frames.emplace_back(item->content.begin(), item->content.end());
    }
    return r;
}

int satelliteFrames(const std::vector<Octets>& frames) {
    return static_cast<int>(std::count_if(frames.begin(), frames.end(), [](const Octets& f) {
        return !f.empty() && isSatelliteFrame(std::span(f).subspan(1));
    }));
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// The program's output so far, kept as it arrives.
struct Run {
    QProcess process;
    QByteArray out, err;

    void start(const QStringList& args, const QString& workDir, const QProcessEnvironment& env) {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] { out += process.readAllStandardOutput(); });
        QObject::connect(&process, &QProcess::readyReadStandardError, [this] { err += process.readAllStandardError(); });
        process.setWorkingDirectory(workDir);
        process.setProcessEnvironment(env);
        process.start(kBinary, args);
    }
    int count(const QByteArray& text) const { return static_cast<int>(out.count(text)); }
    // Terminates as a service manager would and waits for the exit.
    bool stop() {
        if (process.state() == QProcess::NotRunning) return true;
        process.terminate();
        const bool finished = process.waitForFinished(15000);
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
        return finished;
    }
    QStringList lines() const { return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

} // namespace

class TestDemo : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void demoServicesDriveAStation();
    void demoStationRunsOnItsOwn();
    void simulateFeedsAStationOfAnotherProcess();
    void simulateRefusesWhatItCannotServe_data();
    void simulateRefusesWhatItCannotServe();
};

void TestDemo::initTestCase() {
#ifdef Q_OS_WIN
    QSKIP("stops the program with SIGTERM");
#endif
    QVERIFY2(QFileInfo::exists(kBinary), qPrintable(kBinary));
}

void TestDemo::demoServicesDriveAStation() {
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", temp.path().toLocal8Bit());
    auto restore = qScopeGuard([&] { savedTmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", savedTmp); });

    DemoServices demo, second;
    const auto config = demo.start();
    QVERIFY2(config.has_value(), qPrintable(demo.error()));
    // A second demo at the same time gets a folder of its own.
    const auto otherConfig = second.start();
    QVERIFY(otherConfig && otherConfig->parent_path() != config->parent_path());

    const QString folder = QDir(temp.path()).filePath(QStringLiteral("varne4-demo"));
    QCOMPARE(QString::fromStdU16String(config->parent_path().u16string()), folder);
    QVERIFY(demo.statusText().endsWith(QStringLiteral(", files in ") + folder));

    SystemClock clock;
    DisplayFormat format;
    {
        Station station(clock, format);
        StationOptions options;
        options.configPath = *config;
        options.demo = true;
        const auto error = station.startUp(options);
        QVERIFY(!error);
        QCOMPARE(QString::fromStdU16String(station.kissLogPath().parent_path().u16string()), folder);

        // Housekeeping beacons fill the history, and every body reaches both servers.
        QTRY_VERIFY_WITH_TIMEOUT(station.pipeline().history().size() >= 2, 15000);
        const auto& history = station.pipeline().history();
        QVERIFY(history.at(1).values[2] > history.at(0).values[2]); // uptime
        QTRY_VERIFY(demo.sink()->received() >= 4);
        const QList<QByteArray> bodies = demo.sink()->lastBodies();
        QVERIFY(bodies.front().startsWith("noradID=99931&source=DEMO&timestamp="));
        QCOMPARE(bodies.at(0), bodies.at(1)); // server, then backup
        QCOMPARE(second.sink()->received(), quint64{0});
        station.shutDown();
    }
}

void TestDemo::demoStationRunsOnItsOwn() {
    QTemporaryDir temp, work;
    QVERIFY(temp.isValid() && work.isValid());
    const QString binaryFolder = QFileInfo(kBinary).absolutePath();
    const QStringList binaryFolderBefore = entries(binaryFolder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), temp.path()); // the demo's folder goes there

    Run demo;
    demo.start({QStringLiteral("--headless"), QStringLiteral("--demo")}, work.path(), env);
    QVERIFY(demo.process.waitForStarted(5000));
    // Beacons come every three seconds; wait for a few and their uploads.
    QTRY_VERIFY_WITH_TIMEOUT(demo.count("noradID=99931&source=DEMO&") >= 3 || demo.process.state() == QProcess::NotRunning,
                             30000);
    QTest::qWait(1500);
    QVERIFY(demo.stop());
    QVERIFY2(demo.process.exitStatus() == QProcess::NormalExit && demo.process.exitCode() == 0, demo.err.constData());

    const QStringList lines = demo.lines();
    QVERIFY(!lines.isEmpty());
    QVERIFY(lines.filter(QStringLiteral("demo mode: simulated modem on 127.0.0.1:")).size() == 1);
    const auto totals = QRegularExpression(QStringLiteral("^RX packets: (\\d+) \\| HTTP POST OK: (\\d+)$")).match(lines.last());
    QVERIFY2(totals.hasMatch(), qPrintable(lines.last()));
    const int rx = totals.captured(1).toInt();
    const int postOk = totals.captured(2).toInt();
    const int bodies = demo.count("noradID=99931&source=DEMO&");
    QVERIFY(rx >= 3);
    QCOMPARE(bodies, rx);
    QVERIFY2(postOk > 0 && postOk <= 2 * rx, qPrintable(lines.last()));

    // Everything the run wrote is in the demo folder, and its log reads back.
    const QString folder = QDir(temp.path()).filePath(QStringLiteral("varne4-demo"));
    QCOMPARE(entries(temp.path()), QStringList{QStringLiteral("varne4-demo")});
    QVERIFY(entries(work.path()).isEmpty());
    const QStringList logs = QDir(folder).entryList({QStringLiteral("DEMO_*.kss")}, QDir::Files);
    QCOMPARE(logs.size(), 1);
    QVERIFY(entries(folder).contains(QStringLiteral("online_conf.ini")));
    const Recording log = readRecording(QDir(folder).filePath(logs.front()));
    QVERIFY(log.readable);
    QCOMPARE(log.timeStamps, static_cast<int>(log.frames.size()));
    QCOMPARE(satelliteFrames(log.frames), rx);
    // Other tests may run beside this one, so only what this run would have left counts.
    for (const QString& name : entries(binaryFolder))
        if (!binaryFolderBefore.contains(name))
            QVERIFY2(!name.startsWith(QStringLiteral("DEMO")) && name != QStringLiteral("online_conf.ini"),
                     qPrintable(name));
}

void TestDemo::simulateFeedsAStationOfAnotherProcess() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString recordingPath = dir.filePath(QStringLiteral("passes.kss"));
    {
        const auto bytes = makeSampleRecording(kSampleSeed, kSamplePasses);
        std::ofstream file(fsPath(recordingPath), std::ios::binary);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    const Recording recording = readRecording(recordingPath);
    QVERIFY(recording.frames.size() > 20);
    const int satellite = satelliteFrames(recording.frames);
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    Run simulator;
    simulator.start({QStringLiteral("simulate"), QStringLiteral("--rate"), QStringLiteral("40"), recordingPath},
                    dir.path(), env);
    QTRY_VERIFY_WITH_TIMEOUT(simulator.out.contains('\n') || simulator.process.state() == QProcess::NotRunning, 10000);
    const auto announced = QRegularExpression(QStringLiteral("^simulating on 127\\.0\\.0\\.1:(\\d+)\n"))
                               .match(QString::fromUtf8(simulator.out));
    QVERIFY2(announced.hasMatch(), simulator.out.constData());

    const QString stationDir = dir.filePath(QStringLiteral("station"));
    QVERIFY(QDir().mkpath(stationDir));
    const QString config = QDir(stationDir).filePath(QStringLiteral("online_conf.ini"));
    {
        std::ofstream file(fsPath(config), std::ios::binary);
        file << "PORT=127.0.0.1:" << announced.captured(1).toStdString() << "\r\n"
             << "SERVER=http://127.0.0.1:9/unused\r\nMYCALL=TEST\r\nQTH_LAT=50.1\r\nQTH_LONG=14.4\r\n";
    }
    Run station;
    station.start({QStringLiteral("--headless"), QStringLiteral("--no-upload"), QStringLiteral("--config"), config},
                  stationDir, env);
    // The whole recording once, and into its second round.
    QTRY_VERIFY_WITH_TIMEOUT(station.count("noradID=99931&") > satellite || station.process.state() == QProcess::NotRunning,
                             30000);
    QVERIFY(station.stop());
    QVERIFY(simulator.stop());
    QVERIFY2(station.process.exitStatus() == QProcess::NormalExit && station.process.exitCode() == 0,
             station.err.constData());
    QVERIFY2(simulator.process.exitStatus() == QProcess::NormalExit && simulator.process.exitCode() == 0,
             simulator.err.constData());

    const QStringList logs = QDir(stationDir).entryList({QStringLiteral("TEST_*.kss")}, QDir::Files);
    QCOMPARE(logs.size(), 1);
    const Recording heard = readRecording(QDir(stationDir).filePath(logs.front()));
    QVERIFY(heard.frames.size() > recording.frames.size());
    // One time stamp per frame heard: nothing but the recording's frames came over the link.
    QCOMPARE(heard.timeStamps, static_cast<int>(heard.frames.size()));
    for (std::size_t i = 0; i < heard.frames.size(); ++i)
        QVERIFY2(heard.frames[i] == recording.frames[i % recording.frames.size()], qPrintable(QString::number(i)));
}

void TestDemo::simulateRefusesWhatItCannotServe_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("no file") << QStringList{} << 2 << QStringLiteral("usage:");
    QTest::newRow("rate zero") << QStringList{QStringLiteral("--rate"), QStringLiteral("0"), QStringLiteral("@good")} << 2
                               << QStringLiteral("--rate");
    QTest::newRow("port too large") << QStringList{QStringLiteral("--port"), QStringLiteral("70000"), QStringLiteral("@good")}
                                    << 2 << QStringLiteral("--port");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--loop"), QStringLiteral("@good")} << 2
                                    << QStringLiteral("--loop");
    QTest::newRow("missing file") << QStringList{QStringLiteral("@good"), QStringLiteral("@missing")} << 1
                                  << QStringLiteral("missing.kss");
    QTest::newRow("no frames in it") << QStringList{QStringLiteral("@empty")} << 1 << QStringLiteral("no frames");
}

void TestDemo::simulateRefusesWhatItCannotServe() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    QTemporaryDir dir;
    {
        std::ofstream good(fsPath(dir.filePath(QStringLiteral("good.kss"))), std::ios::binary);
        const auto bytes = makeSampleRecording(kSampleSeed, 1);
        good.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        std::ofstream empty(fsPath(dir.filePath(QStringLiteral("empty.kss"))), std::ios::binary);
    }
    QStringList full{QStringLiteral("simulate")};
    for (const QString& a : args)
        full << (a.startsWith(QLatin1Char('@')) ? dir.filePath(a.mid(1) + QStringLiteral(".kss")) : a);

    QProcess process;
    process.start(kBinary, full);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(err.contains(message), qPrintable(err));
}

QTEST_GUILESS_MAIN(TestDemo)
#include "tst_demo.moc"
