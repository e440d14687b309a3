// The `decode` command end to end: the built program on real files.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <csignal>
#include <map>

#include "decode/beacon_table.h"
#include "sim/sample_recording.h"
#include "station/csv_writer.h"
#include "support/qt_support.h"

using namespace varne4;

namespace {

const char* const kSample = "samples/varne4_sample.kss"; // 36 satellite frames; its own test keeps it made

// Always under a German locale: the command's texts must not follow it.
test::ProgramRun decode(const QStringList& args) {
    auto env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LC_ALL", "LANG", "LC_NUMERIC"})
        env.insert(name, "de_DE.UTF-8");
    return test::ProgramRun(QStringList{"decode"} + args, QStringLiteral(VARNE4_SOURCE_DIR), env);
}

QList<QByteArray> linesOf(const QByteArray& out) {
    return out.isEmpty() ? QList<QByteArray>{} : out.chopped(1).split('\n');
}

QJsonObject parseLine(const QByteArray& line) {
    const auto doc = QJsonDocument::fromJson(line); // null when it is not JSON
    EXPECT_TRUE(doc.isObject()) << line.toStdString();
    return doc.object();
}

} // namespace

TEST(DecodeCommand, WritesJsonPerSatelliteFrameOrCsvPerHousekeepingBeacon) {
    auto run = decode({kSample});
    ASSERT_EQ(run.finish(), 0) << run.err.toStdString();
    std::map<QString, int> perBeacon;
    for (const auto& line : linesOf(run.out)) {
        SCOPED_TRACE(line.toStdString());
        const auto o = parseLine(line);
        const auto beacon = o.value("beacon").toString(), frame = o.value("frame").toString();
        ++perBeacon[beacon];
        EXPECT_EQ(o.value("file").toString(), kSample);
        EXPECT_EQ(o.value("recorded").toString().size(), 23);
        EXPECT_TRUE(frame.startsWith("A2 82 60 AC A4 9C 60 A2 84 60 AC A4 A6 E1 03 "));
        // Behind a message line stands the import byte counter: port byte, frame, closing FEND.
        const auto counter = beacon == "message" ? " " + QString::number((frame.size() + 1) / 3 + 2) : QString();
        EXPECT_EQ(o.value("beacon_line").toString(), beacon + " beacon" + counter);
        const auto texts = o.value("texts").toObject();
        if (beacon == "housekeeping") {
            const auto rtc = qFromLittleEndian<quint32>(QByteArray::fromHex(frame.mid(31 * 3, 11).toLatin1()).data());
            EXPECT_EQ(o.value("values").toArray().at(3).toDouble(), rtc / 60.0) << "stored values are exact";
            for (const auto& text : texts)
                EXPECT_FALSE(text.toString().contains(',')) << "whatever the locale";
        } else if (beacon == "memory check") {
            EXPECT_EQ(texts.keys(), QStringList({"21", "22", "23", "24", "25", "26"}));
        } else if (perBeacon[beacon] == 3) { // the third message; its degree sign is Latin-1 in the frame
            EXPECT_EQ(o.value("message").toString(), QString::fromUtf8("VARNE-4 OBC 21\u00B0C all nominal"));
        }
    }
    EXPECT_EQ(perBeacon, (std::map<QString, int>{{"housekeeping", 27}, {"memory check", 3}, {"message", 6}}));

    // CSV: the columns of the window's export, then one row per housekeeping beacon, "." whatever the locale.
    auto csv = decode({"--format", "csv", kSample});
    ASSERT_EQ(csv.finish(), 0) << csv.err.toStdString();
    const auto lines = linesOf(csv.out);
    ASSERT_EQ(lines.size(), 27 + 1);
    EXPECT_EQ(lines[0] + "\n", QByteArray::fromStdString(historyCsv(ValueHistory{})));
    // time, beacon rate, event indicator, uptime, RTC, state, then 16 numbers
    const QRegularExpression row(
        R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3},\d+,&h[0-9A-F]+,-?\d+,\d{4}-\d\d-\d\d \d\d:\d\d:\d\d,[01]{8}(,-?[0-9.]+){16}\r$)");
    for (const auto& line : lines.mid(1))
        EXPECT_TRUE(row.match(line).hasMatch()) << line.toStdString();
}

// Every file is read whatever the others hold; no content crashes it (a crash makes the exit code -1).
// The unstamped file: a message, an oversized record to skip, a message, then noise and short beacons.
TEST(DecodeCommand, ReportsFileProblemsReadsOnAndSurvivesAnyContent) {
    test::ScratchFolder folder;
    test::ByteVector file;
    kiss::appendFrameRecord(file, withPortByte(makeMessageFrame("before")));
    const auto offset = file.size();
    kiss::appendFrameRecord(file, withPortByte(makeMessageFrame(std::string(600, 'x'))));
    kiss::appendFrameRecord(file, withPortByte(makeMessageFrame("after")));
    for (std::uint32_t i = 0, x = 12345; i < 200000; ++i, x = x * 1664525u + 1013904223u)
        file.push_back(x >> 24 < 16 ? kiss::FEND : x >> 24 < 24 ? kiss::FESC : static_cast<std::uint8_t>(x >> 24));
    for (std::size_t n = 0; n < 80; ++n)
        for (std::uint8_t type : {0x64, 0x68, 0x04})
            kiss::appendFrameRecord(file, withPortByte(makeSatelliteFrame(type, type == 0x04 ? 0x67 : type, n)));
    test::writeFile(folder / "unstamped.kss", file);
    test::writeFile(folder / "empty.kss", "");
    test::writeFile(folder / "notes.txt", "not a recording\r\n");

    auto run = decode({test::qPath(folder / "no_such_recording.kss"), kSample, test::qPath(folder / "unstamped.kss"),
                       test::qPath(folder / "empty.kss"), test::qPath(folder / "notes.txt")});
    EXPECT_EQ(run.finish(), 1);
    const std::string err = run.err.toStdString();
    const auto said = [&](const std::string& text) { return err.find(text) != std::string::npos; };
    EXPECT_TRUE(said("cannot open " + (folder / "no_such_recording.kss").string())) << err;
    EXPECT_TRUE(said("empty.kss: no KISS records found") && said("notes.txt: no KISS records found")) << err;
    EXPECT_EQ(run.err.count("no KISS records"), 2) << "recordings with records are not named";
    EXPECT_TRUE(said("unstamped.kss: record at byte offset " + std::to_string(offset) + " is longer than 512")) << err;
    const auto lines = linesOf(run.out);
    ASSERT_GE(lines.size(), 36 + 2);
    EXPECT_TRUE(parseLine(lines[36]).value("recorded").isNull()) << "no stamp is taken over from the file before";
    EXPECT_EQ(parseLine(lines[36]).value("message").toString(), "before");
    EXPECT_EQ(parseLine(lines[37]).value("message").toString(), "after");
    for (const auto& line : lines)
        parseLine(line);
}

// "recorded" is the stamp before a frame as text, whichever form the file wrote it in; a
// stamp that gives no time leaves it null and is said once per file.
TEST(DecodeCommand, RecordedIsTheTextOfEitherStampForm) {
    test::ScratchFolder folder;
    test::ByteVector file;
    const auto message = [](const char* text) { return withPortByte(makeMessageFrame(text)); };
    test::ByteVector binary{kiss::kTimeStampCommand}; // 2026-11-28 16:00:00.007 UTC
    for (int shift = 56; shift >= 0; shift -= 8)
        binary.push_back(static_cast<std::uint8_t>(1795881600007ull >> shift));
    kiss::appendFrameRecord(file, binary);
    kiss::appendFrameRecord(file, message("binary"));
    kiss::appendTimeStampRecord(file, "2026-11-28 14:02:05.250 UTC");
    kiss::appendFrameRecord(file, message("text"));
    kiss::appendFrameRecord(file, message("unstamped"));
    kiss::appendFrameRecord(file, test::ByteVector{kiss::kTimeStampCommand, 0xC3, 0x28, 0x00});
    kiss::appendFrameRecord(file, message("garbage"));
    kiss::appendTimeStampRecord(file, "2099-01-01 00:00:00.000 UTC");
    kiss::appendFrameRecord(file, message("future"));
    test::writeFile(folder / "stamps.kss", file);

    auto run = decode({test::qPath(folder / "stamps.kss")});
    ASSERT_EQ(run.finish(), 0) << run.err.toStdString();
    QStringList recorded;
    for (const auto& line : linesOf(run.out)) {
        const auto o = parseLine(line);
        recorded << o.value("message").toString() + "=" +
                        (o.value("recorded").isNull() ? QStringLiteral("null") : o.value("recorded").toString());
    }
    EXPECT_EQ(recorded.join(' ').toStdString(),
              "binary=2026-11-28 16:00:00.007 text=2026-11-28 14:02:05.250 unstamped=null garbage=null future=null");
    EXPECT_EQ(run.err.count("time stamp"), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("stamps.kss: time stamp is neither a UTC time text nor 8 bytes of Unix milliseconds"))
        << run.err.toStdString();
}

#ifdef Q_OS_UNIX
// A file name is bytes: those that are not UTF-8 appear in their Latin-1 reading,
// so every line stays JSON.
TEST(DecodeCommand, FileNamesThatAreNotUtf8StayValidJson) {
    test::ScratchFolder folder;
    const std::string name = "M\xFCller \xC3\xA9.kss"; // a Latin-1 byte, then valid UTF-8
    std::filesystem::copy_file(std::string(VARNE4_SOURCE_DIR) + "/" + kSample, folder.path() / name);
    QProcess shell; // only a shell hands a program a file name that is not UTF-8
    shell.start("sh", {"-c", "cd \"$1\" && exec \"$0\" decode \"$(printf 'M\\374ller \\303\\251.kss')\"", VARNE4_BINARY,
                       test::qPath(folder.path())});
    ASSERT_TRUE(shell.waitForFinished(60000));
    ASSERT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    const auto lines = linesOf(shell.readAllStandardOutput());
    ASSERT_EQ(lines.size(), 36);
    for (const auto& line : lines)
        EXPECT_EQ(parseLine(line).value("file").toString(), QString::fromUtf8("Müller é.kss"));
}

// Output that cannot be written is a failure, said on standard error.
TEST(DecodeCommand, AFullDiskIsAnErrorNotASuccess) {
    if (!QFile::exists("/dev/full")) GTEST_SKIP() << "needs /dev/full";
    QProcess decode;
    decode.setWorkingDirectory(VARNE4_SOURCE_DIR);
    decode.setStandardOutputFile("/dev/full");
    decode.start(VARNE4_BINARY, {"decode", kSample});
    ASSERT_TRUE(decode.waitForFinished(60000));
    EXPECT_EQ(decode.exitCode(), 1);
    EXPECT_TRUE(decode.readAllStandardError().startsWith("varne4-decoder: cannot write the output: "));
}

// SIGTERM in the middle of a long decode ends it between two lines.
TEST(DecodeCommand, ATerminationSignalEndsItBetweenTwoLines) {
    test::ScratchFolder folder;
    const auto big = test::qPath(folder / "big.kss");
    ASSERT_EQ(QProcess::execute(VARNE4_BINARY, {"sample", "--bench-records", "400000", big}), 0);
    QProcess decode;
    decode.start(VARNE4_BINARY, {"decode", big});
    QByteArray out;
    while (out.size() < 256 * 1024 && decode.waitForReadyRead(10000))
        out += decode.readAllStandardOutput();
    ASSERT_GE(out.size(), 256 * 1024);
    decode.terminate();
    while (decode.waitForReadyRead(5000))
        out += decode.readAllStandardOutput();
    ASSERT_TRUE(decode.state() == QProcess::NotRunning || decode.waitForFinished(10000));
    out += decode.readAllStandardOutput();
    EXPECT_EQ(decode.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(decode.exitCode(), 128 + SIGTERM);
    ASSERT_TRUE(out.endsWith('\n'));
    const auto lines = linesOf(out);
    EXPECT_LT(lines.size(), 200000) << "it ended early";
    for (const auto& line : lines)
        ASSERT_FALSE(parseLine(line).isEmpty()) << line.toStdString();
}
#endif
