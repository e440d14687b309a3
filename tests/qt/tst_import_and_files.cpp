// KISS import through the station in slices, the debug snapshot, and the CSV of
// the value history.

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "station/csv_writer.h"
#include "station/debug_file.h"
#include "station/kiss_import.h"
#include "sim/sample_recording.h"
#include "station/station.h"
#include "kisslog/kiss.h"

using namespace varne4;
using Octets = std::vector<std::uint8_t>;

namespace {

const DateTime kNow{2026, 12, 5, 3, 36, 34, 678};

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return f.fileName();
}

// A log as the station writes it: `frames` raw frames, every `satelliteEvery`th a
// housekeeping beacon whose uptime numbers it.
QByteArray kissLog(int frames, int satelliteEvery, int firstUptime = 0) {
    Octets out;
    for (int i = 0; i < frames; ++i) {
        kiss::appendTimeStampRecord(out, "2026-12-05 03:36:34.678 UTC");
        HousekeepingSample s;
        s.uptime = firstUptime + i;
        const Octets frame = i % satelliteEvery == 0 ? makeHousekeepingFrame(s)
                                                     : makeStationFrame("CQ", "OK1ABC", "", "hello");
        kiss::appendFrameRecord(out, withPortByte(frame));
    }
    return QByteArray(reinterpret_cast<const char*>(out.data()), static_cast<qsizetype>(out.size()));
}

struct Fixture {
    QTemporaryDir dir;
    FixedClock clock{kNow};
    DisplayFormat format;
    Station station{clock, format};
    explicit Fixture(const QByteArray& config = "PORT=127.0.0.1:1\r\nMYCALL=XY1Z\r\n") {
        StationOptions options;
        options.configPath = writeFile(dir, "online_conf.ini", config).toStdString();
        options.uploadAllowed = false;
        if (station.startUp(options)) qFatal("start-up failed");
    }
    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        for (std::size_t i = station.statusLog().size(); i-- > 0;) lines.push_back(station.statusLog().line(i));
        return lines;
    }
};

bool runImport(KissImport& import, const QStringList& files) {
    QSignalSpy finished(&import, &KissImport::finished);
    import.start(files);
    return finished.wait(20000) && !finished.first().first().toBool();
}

} // namespace

class TestImportAndFiles : public QObject {
    Q_OBJECT
private slots:
    void importHandsOnlySatelliteFramesToTheDecoder();
    void importReadsFilesInOrderAndGoesOnPastAnUnreadableOne();
    void importStopsAfterTheCurrentRecordWhenCancelled();
    void importSkipsOversizeRecordsNamingTheirOffset();
    void debugFileHoldsLogHexAndConfiguration_data();
    void debugFileHoldsLogHexAndConfiguration();
    void historyCsvHasTheSlotLabelsAndExactValues();
};

void TestImportAndFiles::importHandsOnlySatelliteFramesToTheDecoder() {
    Fixture f;
    KissImport import(f.station);
    const QString file = writeFile(f.dir, "ten.kss", kissLog(10, 3)); // frames 0, 3, 6, 9 are the satellite's
    QVERIFY(runImport(import, {file}));
    QCOMPARE(f.station.pipeline().rxCounter(), 4u);
    QCOMPARE(f.station.pipeline().counterLineText(), std::string("KISS packets: 4 | HTTP POST OK: 0"));
    QCOMPARE(f.station.pipeline().history().size(), 4u);
    QCOMPARE(f.station.pipeline().history().newest().values[2], 9.0);
    QVERIFY(f.station.hexMonitor().empty()); // imports are not shown as received
    QCOMPARE(f.logLines()[3], "2026-12-05 03:36:34.678: processing " + file.toStdString());
}

void TestImportAndFiles::importReadsFilesInOrderAndGoesOnPastAnUnreadableOne() {
    Fixture f;
    KissImport import(f.station);
    const QString a = writeFile(f.dir, "a.kss", kissLog(2, 1, 100));
    const QString b = writeFile(f.dir, "b.kss", kissLog(2, 1, 200));
    const QString missing = f.dir.filePath("missing.kss");
    const QString notes = writeFile(f.dir, "notes.txt", "not a recording\r\n");
    QVERIFY(runImport(import, {a, missing, notes, b}));
    const auto& h = f.station.pipeline().history();
    QCOMPARE(h.size(), 4u);
    QCOMPARE(h.at(0).values[2], 100.0);
    QCOMPARE(h.at(1).values[2], 101.0);
    QCOMPARE(h.at(2).values[2], 200.0);
    QCOMPARE(h.at(3).values[2], 201.0);
    const auto lines = f.logLines();
    const auto has = [&](const std::string& text) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != l.npos; });
    };
    QVERIFY(has("processing " + missing.toStdString()));
    QVERIFY(has("cannot open " + missing.toStdString()));
    QVERIFY(has(notes.toStdString() + ": no KISS records found"));
    QVERIFY(!has(a.toStdString() + ": no KISS") && !has(b.toStdString() + ": no KISS"));
    QVERIFY(has("processing " + b.toStdString()));
}

void TestImportAndFiles::importStopsAfterTheCurrentRecordWhenCancelled() {
    Fixture f;
    KissImport import(f.station);
    import.setSliceMs(0);
    const QString big = writeFile(f.dir, "big.kss", kissLog(20000, 1));
    QSignalSpy finished(&import, &KissImport::finished);
    QSignalSpy progress(&import, &KissImport::progress);
    import.start({big, big});
    QVERIFY(progress.wait(5000));
    import.cancel();
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.first().first().toBool(), true);
    QVERIFY(!import.running());
    QVERIFY(f.station.pipeline().rxCounter() < 20000u);
    QCOMPARE(f.station.pipeline().rxCounter(), import.recordsDone());
}

void TestImportAndFiles::importSkipsOversizeRecordsNamingTheirOffset() {
    Fixture f;
    KissImport import(f.station);
    QByteArray bytes = kissLog(1, 1);
    const qsizetype offset = bytes.size();
    bytes += '\xC0' + QByteArray(600, 'x') + '\xC0';
    bytes += kissLog(1, 1, 7);
    QVERIFY(runImport(import, {writeFile(f.dir, "long.kss", bytes)}));
    QCOMPARE(f.station.pipeline().rxCounter(), 2u);
    QVERIFY(f.station.statusLog().text().find("record at byte offset " + std::to_string(offset) +
                                              " is longer than 512 bytes, skipped") != std::string::npos);
}

void TestImportAndFiles::debugFileHoldsLogHexAndConfiguration_data() {
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("withFrame");
    QTest::newRow("config ends with CR LF, no frames") << QByteArray("PORT=127.0.0.1:1\r\nMYCALL=XY1Z\r\n") << false;
    QTest::newRow("config without final CR LF, a frame") << QByteArray("PORT=127.0.0.1:1\r\nMYCALL=XY1Z") << true;
}

void TestImportAndFiles::debugFileHoldsLogHexAndConfiguration() {
    QFETCH(QByteArray, config);
    QFETCH(bool, withFrame);
    Fixture f(config);
    if (withFrame) f.station.takeLiveFrame(Octets{0x00, 0x41, 0x0A});
    const std::string logText = f.station.statusLog().text();
    const auto path = writeDebugFile(f.station);
    QCOMPARE(QString::fromStdString(path.filename().string()), QStringLiteral("XY1Z_05122026_0336.txt"));

    QFile file(QString::fromStdString(path.string()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray sep = QByteArray(52, '-') + "\r\n";
    const QByteArray expected = "Debugfile ORSEL-1 Online Telemetry Decoder (QX7TR)\r\nVersion: 1.7.1\r\n" + sep +
                                QByteArray::fromStdString(logText) + "\r\n" + sep +
                                (withFrame ? QByteArray("41 0A \r\n") : QByteArray()) + "\r\n" + sep + config +
                                "\r\n" + sep + "thanks 73, Tamo \r\nQX7TR\r\n";
    QCOMPARE(file.readAll(), expected);
}

void TestImportAndFiles::historyCsvHasTheSlotLabelsAndExactValues() {
    Fixture f;
    HousekeepingSample s;
    s.tempA = -1;        // -0.5 C
    s.rtc = 4004863744u; // minutes with a fraction
    f.station.takeImportedRecord(withPortByte(makeHousekeepingFrame(s)));
    const QList<QByteArray> lines = QByteArray::fromStdString(historyCsv(f.station.pipeline().history())).split('\n');
    QCOMPARE(lines.size(), 3); // header, one row, the empty rest after the last line end
    QVERIFY(lines[0].startsWith("timestamp (UTC),beacon rate,event indicator,uptime,RTC,state,"));
    QVERIFY(lines[0].endsWith(",-Z panel temp,+Z panel temp\r"));
    const QList<QByteArray> row = lines[1].trimmed().split(',');
    QCOMPARE(row.size(), 22);
    QCOMPARE(row[0], QByteArray("2026-12-05 03:36:34.678"));
    QCOMPARE(row[4].toDouble(), 4004863744.0 / 60);
    QCOMPARE(row[10], QByteArray("-0.5"));
}

QTEST_GUILESS_MAIN(TestImportAndFiles)
#include "tst_import_and_files.moc"
