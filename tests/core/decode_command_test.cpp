// The `decode` command end to end: the built program on real files.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>

#include <map>

#include "sim/sample_recording.h"
#include "decode/beacon_table.h"
#include "decode/text_forms.h"
#include "kisslog/kiss.h"
#include "test_support.h"

namespace varne4 {
namespace {

using test::ByteVector;

const char* const kSample = "samples/varne4_sample.kss";
// What the bundled sample holds; the generator test below keeps the file and these in step.
constexpr int kSampleHousekeeping = 27, kSampleSatelliteFrames = 36; // and 3 memory checks, 6 messages

struct Run {
    int exitCode = -1; // also when it crashed or hung
    QByteArray out, err;
    QList<QByteArray> lines() const { return out.isEmpty() ? QList<QByteArray>{} : out.chopped(1).split('\n'); }
};

// Always under a German locale: the command's texts must not follow it.
Run runDecoder(const QStringList& args) {
    auto env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LC_ALL", "LANG", "LC_NUMERIC"}) env.insert(name, "de_DE.UTF-8");
    QProcess process;
    process.setWorkingDirectory(QStringLiteral(VARNE4_SOURCE_DIR));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(VARNE4_BINARY), QStringList{QStringLiteral("decode")} + args);
    const bool finished = process.waitForFinished(120000);
    if (!finished) process.kill(); // did not start or hung
    const int code = finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return {code, process.readAllStandardOutput(), process.readAllStandardError()};
}

QJsonObject parseLine(const QByteArray& line) {
    const auto doc = QJsonDocument::fromJson(line); // null when it is not JSON
    EXPECT_TRUE(doc.isObject()) << line.toStdString();
    return doc.object();
}

// Little-endian 32-bit field of a frame given as "A2 82 60 ..." text.
std::uint32_t uint32At(const QString& frameText, int offset) {
    return qFromLittleEndian<quint32>(QByteArray::fromHex(frameText.mid(offset * 3, 11).toLatin1()).constData());
}

TEST(DecodeCommand, WritesJsonPerSatelliteFrameOrCsvPerHousekeepingBeacon) {
    const auto run = runDecoder({kSample});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QRegularExpression frameText(R"(^A2 82 60 AC A4 9C 60 A2 84 60 AC A4 A6 E1 03( [0-9A-F]{2})*$)");
    std::map<QString, int> perBeacon;
    bool sawDecimal = false;
    for (const auto& line : run.lines()) {
        SCOPED_TRACE(line.toStdString());
        const auto o = parseLine(line);
        EXPECT_EQ(o.value("file").toString(), kSample);
        const auto recorded = o.value("recorded").toString();
        EXPECT_EQ(recorded.size(), 23);
        const auto frame = o.value("frame").toString();
        ASSERT_TRUE(frameText.match(frame).hasMatch());
        const auto beacon = o.value("beacon").toString();
        const auto texts = o.value("texts").toObject();
        ++perBeacon[beacon];
        // Behind a message line stands the import byte counter: port byte, frame, closing FEND.
        EXPECT_EQ(o.value("beacon_line").toString(),
                  beacon + " beacon" + (beacon == "message" ? QString(" " + QString::number((frame.size() + 1) / 3 + 2)) : QString()));
        if (beacon == "housekeeping") {
            const auto values = o.value("values").toArray();
            ASSERT_EQ(values.size(), kHousekeepingSlots);
            for (const auto& text : texts) EXPECT_FALSE(text.toString().contains(',')) << text.toString().toStdString();
            sawDecimal |= QJsonDocument(texts).toJson().contains('.');
            // The sample's clock reads the time of reception, so the RTC shows its minute.
            EXPECT_EQ(texts.value("3").toString(), recorded.left(16));
            EXPECT_EQ(values.at(3).toDouble(), uint32At(frame, 31) / 60.0) << "stored values are exact";
            EXPECT_EQ(o.value("uptime").toString().toStdString(), SecondsToDuration(uint32At(frame, 27)));
        } else if (beacon == "memory check") {
            EXPECT_EQ(texts.keys(), QStringList({"21", "22", "23", "24", "25", "26"}));
        } else if (beacon == "message" && perBeacon[beacon] == 3) { // in file order; the degree sign is Latin-1
            EXPECT_EQ(o.value("message").toString(), QString::fromUtf8("VARNE-4 OBC 21\u00B0C all nominal"));
        }
    }
    EXPECT_TRUE(sawDecimal) << "the sample must hold fractions for the locale check to mean anything";
    EXPECT_EQ(perBeacon, (std::map<QString, int>{{"housekeeping", 27}, {"memory check", 3}, {"message", 6}}));

    // CSV: the slot labels, then one row per housekeeping beacon.
    const auto csv = runDecoder({"--format", "csv", kSample});
    const auto lines = csv.lines();
    ASSERT_TRUE(csv.exitCode == 0 && lines.size() == kSampleHousekeeping + 1) << csv.err.toStdString();
    QByteArray header = "recorded";
    for (const auto& f : housekeepingFields) header += "," + QByteArray::fromStdString(std::string(f.label));
    EXPECT_EQ(lines[0].trimmed(), header);
    const QRegularExpression row(R"(^[-0-9 :.]{23}(,-?[0-9.]+){21}\r?$)"); // "." whatever the locale
    for (const auto& line : lines.mid(1)) EXPECT_TRUE(row.match(line).hasMatch()) << line.toStdString();
}

// Every file is read whatever the others hold; no content crashes it (a crash leaves the exit code at -1).
// The unstamped file: a message, an oversized record to skip, a message, then noise.
TEST(DecodeCommand, ReportsFileProblemsReadsOnAndSurvivesAnyContent) {
    test::ScratchFolder folder;
    const auto path = [&](std::string_view name) { return QString::fromStdString((folder / name).string()); };
    ByteVector file; // without time-stamp records
    kiss::appendFrameRecord(file, withPortByte(makeMessageFrame("before")));
    const auto offset = QByteArray::number(static_cast<qulonglong>(file.size()));
    kiss::appendFrameRecord(file, withPortByte(makeMessageFrame(std::string(600, 'x'))));
    kiss::appendFrameRecord(file, withPortByte(makeMessageFrame("after")));
    for (std::uint32_t i = 0, x = 12345; i < 200000; ++i, x = x * 1664525u + 1013904223u)
        file.push_back(x >> 24 < 16 ? kiss::FEND : x >> 24 < 24 ? kiss::FESC : static_cast<std::uint8_t>(x >> 24));
    // Satellite headers with tails of every length, so the decoder sees every kind of short beacon.
    for (std::size_t n = 0; n < 80; ++n)
        for (std::uint8_t type : {0x64, 0x68, 0x04})
            kiss::appendFrameRecord(file, withPortByte(makeSatelliteFrame(type, type == 0x04 ? 0x67 : type, n)));
    test::writeFile(folder / "unstamped.kss", file);
    test::writeFile(folder / "empty.kss", ByteVector{});
    test::writeFile(folder / "notes.txt", std::string_view("not a recording\r\n"));

    const auto run = runDecoder({path("no_such_recording.kss"), kSample, path("unstamped.kss"), path("empty.kss"),
                                 path("notes.txt")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("no_such_recording.kss")) << run.err.toStdString();
    for (const char* name : {"empty.kss", "notes.txt"})
        EXPECT_TRUE(run.err.contains(QByteArray(QByteArray(name) + ": no KISS records found"))) << name;
    EXPECT_EQ(run.err.count("no KISS records"), 2) << "recordings with records are not named";
    EXPECT_TRUE(run.err.contains("unstamped.kss") && run.err.contains(offset)) << run.err.toStdString();
    const auto lines = run.lines();
    ASSERT_GE(lines.size(), kSampleSatelliteFrames + 2);
    const auto before = parseLine(lines[kSampleSatelliteFrames]);
    EXPECT_TRUE(before.value("recorded").isNull()) << "no stamp is taken over from the file before";
    EXPECT_EQ(before.value("message").toString(), "before");
    EXPECT_EQ(parseLine(lines[kSampleSatelliteFrames + 1]).value("message").toString(), "after");
    for (const auto& line : lines) parseLine(line);
}

TEST(SampleRecording, BundledFileIsWhatTheGeneratorMakes) {
    const auto bundled = test::readFile(std::filesystem::path(VARNE4_SOURCE_DIR) / kSample);
    EXPECT_EQ(bundled, makeSampleRecording(kSampleSeed, kSamplePasses))
        << "make the sample again with: varne4-decoder sample samples/varne4_sample.kss";
}

} // namespace
} // namespace varne4
