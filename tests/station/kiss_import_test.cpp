// KISS import through the station, in slices on the event loop.

#include "station/kiss_import.h"

#include <QtTest>

#include <cstdio>

#include "sim/sample_recording.h"
#include "support/qt_support.h"

using namespace varne4;
using test::ByteVector;

namespace {

// A log as the station writes it: `frames` raw frames, every `satelliteEvery`th a
// housekeeping beacon whose uptime numbers it.
ByteVector kissLog(int frames, int satelliteEvery, int firstUptime = 0) {
    ByteVector out;
    for (int i = 0; i < frames; ++i) {
        // Each frame its own millisecond: equal bytes at an equal time are one frame to the station.
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "2026-12-05 03:36:34.%03d UTC", i % 1000);
        kiss::appendTimeStampRecord(out, stamp);
        kiss::appendFrameRecord(out,
                                withPortByte(i % satelliteEvery ? makeStationFrame("CQ", "OK1ABC", "", "hi")
                                                                : makeHousekeepingFrame({.uptime = firstUptime + i})));
    }
    return out;
}

// A station that does not upload, and an import into it.
struct Rig {
    QString write(const char* name, const ByteVector& bytes) {
        test::writeFile(rig.folder / name, bytes);
        return test::qPath(rig.folder / name);
    }
    bool run(const QStringList& files) {
        QSignalSpy finished(&import, &KissImport::finished);
        import.start(files);
        return finished.wait(20000) && !finished.first().first().toBool();
    }
    QList<double> uptimes() const {
        QList<double> out;
        for (std::size_t i = 0; i < rig.station.pipeline().history().size(); ++i)
            out << rig.station.pipeline().history().at(i).values[2];
        return out;
    }
    test::StationRig rig{"PORT=127.0.0.1:1\r\nMYCALL=XY1Z\r\n", false};
    KissImport import{rig.station};
};

} // namespace

class KissImportTest : public QObject {
    Q_OBJECT

private slots:
    // Satellite frames only are decoded and counted; imports are not shown as received.
    void readsFilesInOrderAndGoesOnPastAnUnreadableOne() {
        Rig t;
        const QString a = t.write("a.kss", kissLog(7, 3, 100)), b = t.write("b.kss", kissLog(2, 1, 200));
        const QString notes = t.write("notes.txt", test::bytesOf("not a recording\r\n")), missing = a + ".gone";
        QVERIFY(t.run({a, missing, notes, b}));
        QCOMPARE(t.uptimes(), (QList<double>{100, 103, 106, 200, 201}));
        QCOMPARE(t.rig.station.pipeline().counterLineText(), std::string("KISS packets: 5 | HTTP POST OK: 0"));
        QVERIFY(t.rig.station.hexMonitor().empty());
        for (const QString& said :
             QStringList{"2026-12-05 03:36:34.678: processing " + a, "processing " + missing, "cannot open " + missing,
                         notes + ": no KISS records found", "processing " + b})
            QVERIFY2(t.rig.logged(said), qPrintable(said));
        QVERIFY(!t.rig.logged(a + ": no KISS") && !t.rig.logged(b + ": no KISS"));
        // Each file read ends with what it held; time-stamp records count as records.
        for (
            const QString& summary : QStringList{
                a + ": 14 records, 3 satellite frames (3 housekeeping, 0 memory check, 0 message), 0 queued for upload",
                notes +
                    ": 0 records, 0 satellite frames (0 housekeeping, 0 memory check, 0 message), 0 queued for upload",
                b + ": 4 records, 2 satellite frames (2 housekeeping, 0 memory check, 0 message), 0 queued for upload"})
            QVERIFY2(t.rig.logged(summary), qPrintable(summary));
        QVERIFY(!t.rig.logged(missing + ": 0 records"));
    }

    // The sample holds all three beacon types among other stations; with uploads allowed each
    // satellite frame is queued.
    void summaryCountsEachBeaconTypeAndTheUploads() {
        test::StationRig rig{"PORT=127.0.0.1:1\r\nMYCALL=XY1Z\r\n", true};
        KissImport import{rig.station};
        const QString sample = QStringLiteral(VARNE4_SOURCE_DIR "/samples/varne4_sample.kss");
        int stamps = 0;
        const auto frames = test::framesOf(sample.toStdString(), &stamps);
        QSignalSpy finished(&import, &KissImport::finished);
        import.start({sample});
        QVERIFY(finished.wait(20000));
        const QString summary = QStringLiteral("%1: %2 records, 36 satellite frames (27 housekeeping, 3 memory check, "
                                               "6 message), 36 queued for upload")
                                    .arg(sample)
                                    .arg(frames.size() + static_cast<std::size_t>(stamps));
        QVERIFY2(rig.logged(summary), qPrintable(summary));

        // The same file again: the station database knows every frame, nothing is sent twice.
        QSignalSpy again(&import, &KissImport::finished);
        import.start({sample});
        QVERIFY(again.wait(20000));
        const QString second = QStringLiteral("%1: %2 records, 36 satellite frames (27 housekeeping, 3 memory check, "
                                              "6 message), %3 already known, 0 queued for upload")
                                   .arg(sample)
                                   .arg(frames.size() + static_cast<std::size_t>(stamps))
                                   .arg(frames.size());
        QVERIFY2(rig.logged(second), qPrintable(second));
    }

    void stopsAfterTheCurrentRecordWhenCancelled() {
        Rig t;
        t.import.setSliceMs(0);
        const QString big = t.write("big.kss", kissLog(20000, 1));
        QSignalSpy finished(&t.import, &KissImport::finished), progress(&t.import, &KissImport::progress);
        t.import.start({big, big});
        QVERIFY(progress.wait(5000));
        t.import.cancel();
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().first().toBool(), true);
        QVERIFY(!t.import.running());
        QVERIFY(t.rig.station.pipeline().rxCounter() < 20000u);
        QCOMPARE(t.rig.station.pipeline().rxCounter(), t.import.recordsDone());
    }

    // The stamp before a frame is the frame's time, in the history and in the upload body;
    // a frame without a readable stamp gets the time of the import, said once per file.
    void framesKeepTheTimeTheFileGivesThem() {
        Rig t;
        const auto beacon = [](int uptime) { return withPortByte(makeHousekeepingFrame({.uptime = uptime})); };
        ByteVector bytes;
        kiss::appendTimeStampRecord(bytes, "2026-11-28 14:02:05.250 UTC");
        kiss::appendFrameRecord(bytes, beacon(1));
        ByteVector binary{kiss::kTimeStampCommand}; // 2026-11-28 16:00:00.007 UTC in big-endian milliseconds
        for (int shift = 56; shift >= 0; shift -= 8)
            binary.push_back(static_cast<std::uint8_t>(1795881600007ull >> shift));
        kiss::appendFrameRecord(bytes, binary);
        kiss::appendFrameRecord(bytes, beacon(2));
        kiss::appendFrameRecord(bytes, beacon(3)); // no stamp of its own
        const auto badOffset = bytes.size();
        kiss::appendTimeStampRecord(bytes, "yesterday");
        kiss::appendFrameRecord(bytes, beacon(4));
        kiss::appendTimeStampRecord(bytes, "1970-01-01 00:00:00.000 UTC");
        kiss::appendFrameRecord(bytes, beacon(5));
        QVERIFY(t.run({t.write("stamped.kss", bytes)}));

        const auto& history = t.rig.station.pipeline().history();
        QStringList stamps;
        for (std::size_t i = 0; i < history.size(); ++i)
            stamps << QString::fromStdString(std::string(history.at(i).timestampText()));
        const QString now = QString::fromStdString(utcTimestamp(test::kNow));
        QCOMPARE(stamps, (QStringList{"2026-11-28 14:02:05.250", "2026-11-28 16:00:00.007", now, now, now}));
        QVERIFY(t.rig.logged("&timestamp=2026-11-28T14:02:05.250Z&"));
        QVERIFY(t.rig.logged("&timestamp=2026-11-28T16:00:00.007Z&"));
        QCOMPARE(t.rig.station.pipeline().panel().timeLine, utcTimestamp(test::kNow));
        const std::string log = t.rig.station.statusLog().text();
        const std::string said = "time stamp is neither a UTC time text nor 8 bytes of Unix milliseconds (record at "
                                 "byte offset " +
                                 std::to_string(badOffset) + ")";
        QVERIFY2(log.find(said) != std::string::npos, log.c_str());
        QVERIFY2(log.find("is before 1990") == std::string::npos, "reported once per file");
    }

    void skipsOversizeRecordsNamingTheirOffset() {
        Rig t;
        ByteVector bytes = kissLog(1, 1);
        const std::size_t offset = bytes.size();
        kiss::appendFrameRecord(bytes, ByteVector(600, 'x'));
        for (auto byte : kissLog(1, 1, 7))
            bytes.push_back(byte);
        QVERIFY(t.run({t.write("long.kss", bytes)}));
        QCOMPARE(t.uptimes(), (QList<double>{0, 7}));
        QVERIFY(t.rig.logged(QStringLiteral("record at byte offset %1 is longer than 512 bytes, skipped").arg(offset)));
    }
};

QTEST_GUILESS_MAIN(KissImportTest)
#include "kiss_import_test.moc"
