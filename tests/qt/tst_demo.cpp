// The built program end to end: the demo station on its own, and simulate feeding another process.

#include <QtTest>

#include <fstream>

#include "base/system_clock.h"
#include "sim/sample_recording.h"
#include "intake/frame_pipeline.h"
#include "kisslog/kiss_file_reader.h"

using namespace varne4;

namespace {

using Octets = std::vector<std::uint8_t>;

const QString kBinary = QStringLiteral(VARNE4_BINARY);

std::filesystem::path fsPath(const QString& path) { return std::filesystem::path(path.toStdU16String()); }

void writeRecording(const QString& path, int passes) {
    const auto bytes = makeSampleRecording(kSampleSeed, passes);
    std::ofstream(fsPath(path), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<Octets> framesOf(const QString& path) {
    std::vector<Octets> frames;
    KissFileReader reader;
    if (reader.open(fsPath(path)))
        while (auto item = reader.next())
            if (item->kind == KissFileReader::Kind::Frame) frames.emplace_back(item->content.begin(), item->content.end());
    return frames;
}

QStringList entries(const QString& folder) { return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }

// The program, and its standard output so far; its errors go to the test's log.
struct Run {
    Run(const QStringList& args, const QString& workDir, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] { out += process.readAllStandardOutput(); });
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setWorkingDirectory(workDir);
        process.setProcessEnvironment(env);
        process.start(kBinary, args);
    }
    bool running() const { return process.state() != QProcess::NotRunning; }
    // Terminates as a service manager would; true when the program then exits cleanly.
    bool stop() {
        if (running()) process.terminate(), process.waitForFinished(15000);
        out += process.readAllStandardOutput();
        return !running() && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }
    QProcess process;
    QByteArray out;
};

} // namespace

class TestDemo : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void demoStationRunsOnItsOwn();
    void simulateFeedsAStationOfAnotherProcessOrRefuses();
};

void TestDemo::initTestCase() {
#ifdef Q_OS_WIN
    QSKIP("stops the program with SIGTERM");
#endif
}

void TestDemo::demoStationRunsOnItsOwn() {
    QTemporaryDir temp, work;
    const QString folder = temp.filePath("varne4-demo");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", temp.path());

    Run demo({"--headless", "--demo"}, work.path(), env);
    // Beacons come every three seconds; wait for a few and their uploads.
    QTRY_VERIFY_WITH_TIMEOUT(demo.out.count("noradID=99931&source=DEMO&") >= 3 || !demo.running(), 30000);
    QTest::qWait(1500);
    QVERIFY(demo.stop());

    const auto totals = QRegularExpression("\nRX packets: (\\d+) \\| HTTP POST OK: (\\d+)\\s*$").match(QString::fromUtf8(demo.out));
    QVERIFY2(totals.hasMatch(), demo.out.right(200).constData());
    const int rx = totals.captured(1).toInt(), postOk = totals.captured(2).toInt();
    QVERIFY(rx >= 3 && postOk > 0 && postOk <= 2 * rx); // the sink took them, on both server addresses

    // Everything the run wrote is in its demo folder, and its log reads back through the import.
    QCOMPARE(entries(temp.path()), QStringList{"varne4-demo"});
    QVERIFY(entries(work.path()).isEmpty());
    const QStringList logs = QDir(folder).entryList({"DEMO_*.kss"}, QDir::Files);
    QCOMPARE(logs.size(), 1);
    Configuration config;
    SystemClock clock;
    DisplayFormat format;
    PipelineEvents events;
    FramePipeline import(config, clock, format, events);
    for (const Octets& record : framesOf(QDir(folder).filePath(logs.front()))) import.TakeImportedRecord(record);
    QCOMPARE(import.rxCounter(), std::uint64_t(rx));
    const ValueHistory& history = import.history();
    QVERIFY(history.size() >= 2 && history.newest().values[2] > history.at(0).values[2]); // uptime goes on
}

void TestDemo::simulateFeedsAStationOfAnotherProcessOrRefuses() {
    QTemporaryDir dir;
    const QString recordingPath = dir.filePath("good.kss"), config = dir.filePath("online_conf.ini");
    writeRecording(recordingPath, kSamplePasses);
    const auto recording = framesOf(recordingPath);
    QVERIFY(recording.size() > 20);
    std::ofstream(fsPath(dir.filePath("empty.kss")));
    struct { QString args; int exitCode; const char* message; } const cases[] = { // message: on standard error only
        {"", 2, "usage:"}, {"--rate 0 @good", 2, "--rate"}, {"--port 70000 @good", 2, "--port"}, {"--loop @good", 2, "--loop"},
        {"@good @missing", 1, "missing.kss"}, {"@empty", 1, "no frames"},
    };
    for (const auto& c : cases) {
        QStringList args{"simulate"};
        for (const QString& a : c.args.split(' ', Qt::SkipEmptyParts)) args << (a.startsWith('@') ? dir.filePath(a.mid(1) + ".kss") : a);
        QProcess process;
        process.start(kBinary, args);
        const bool finished = process.waitForFinished(10000);
        const QByteArray out = process.readAllStandardOutput(), err = process.readAllStandardError();
        QVERIFY2(finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == c.exitCode &&
                     out.isEmpty() && err.contains(c.message),
                 qPrintable(c.args + ": " + QString::number(process.exitCode()) + " " + err));
    }
    // The same recording through either kind of modem port reaches the station's log unchanged.
    for (const bool kiss : {false, true}) {
        const QString call = kiss ? "KISS" : "AGW";
        auto heard = [&] { // the station's KISS log, written as the frames arrive
            const QStringList logs = QDir(dir.path()).entryList({call + "_*.kss"}, QDir::Files);
            return logs.size() == 1 ? framesOf(dir.filePath(logs.front())) : std::vector<Octets>{};
        };
        QStringList args{"simulate", "--rate", "40", recordingPath};
        if (kiss) args.insert(1, "--kiss");
        Run simulator(args, dir.path());
        QTRY_VERIFY_WITH_TIMEOUT(simulator.out.contains('\n') || !simulator.running(), 10000);
        const auto announced = QRegularExpression(kiss ? "^simulating on 127\\.0\\.0\\.1:(\\d+) \\(KISS TCP\\)\n"
                                                       : "^simulating on 127\\.0\\.0\\.1:(\\d+)\n")
                                   .match(QString::fromUtf8(simulator.out));
        QVERIFY2(announced.hasMatch(), simulator.out.constData());
        std::ofstream(fsPath(config), std::ios::binary | std::ios::trunc)
            << (kiss ? "KISS_TCP=127.0.0.1:" : "PORT=127.0.0.1:") << announced.captured(1).toStdString()
            << "\r\nSERVER=http://127.0.0.1:9/unused\r\nMYCALL=" << call.toStdString() << "\r\n";
        Run station({"--headless", "--no-upload", "--config", config}, dir.path());
        // The whole recording once, and into its second round.
        QTRY_VERIFY_WITH_TIMEOUT(heard().size() > recording.size() || !station.running(), 30000);
        QVERIFY(station.stop());
        QVERIFY(simulator.stop());
        const auto frames = heard();
        QVERIFY2(frames.size() > recording.size(), qPrintable(call));
        for (std::size_t i = 0; i < frames.size(); ++i)
            QVERIFY2(frames[i] == recording[i % recording.size()], qPrintable(call + QString::number(i)));
    }
}

QTEST_GUILESS_MAIN(TestDemo)
#include "tst_demo.moc"
