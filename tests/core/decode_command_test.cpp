// The `decode` command end to end: the built program on real files.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <map>

#include "app/sample_recording.h"
#include "decode/beacon_table.h"
#include "decode/text_forms.h"
#include "kisslog/kiss.h"
#include "test_support.h"

namespace varne4 {
namespace {

using test::ByteVector;

const char* const kSample = "samples/varne4_sample.kss";
// What the bundled sample holds; the generator test below keeps the file and these in step.
constexpr int kSampleHousekeeping = 27, kSampleMemoryChecks = 3, kSampleMessages = 6;
constexpr int kSampleSatelliteFrames = kSampleHousekeeping + kSampleMemoryChecks + kSampleMessages;

struct Run {
    int exitCode = -1; // also when it crashed or hung
    QByteArray out, err;
    QList<QByteArray> lines() const {
        auto l = out.split('\n');
        if (l.back().isEmpty()) l.pop_back();
        return l;
    }
};

// Always under a German locale: the command's texts must not follow it.
Run runDecoder(const QStringList& args) {
    auto env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LC_ALL", "LANG", "LC_NUMERIC"}) env.insert(name, "de_DE.UTF-8");
    QProcess process;
    process.setWorkingDirectory(QStringLiteral(VARNE4_SOURCE_DIR));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(VARNE4_BINARY), QStringList{QStringLiteral("decode")} + args);
    Run run;
    if (!process.waitForFinished(120000)) process.kill(); // did not start or hung
    else if (process.exitStatus() == QProcess::NormalExit) run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QJsonObject parseLine(const QByteArray& line) {
    QJsonParseError error{};
    const auto doc = QJsonDocument::fromJson(line, &error);
    EXPECT_TRUE(error.error == QJsonParseError::NoError && doc.isObject()) << line.toStdString();
    return doc.object();
}

// Little-endian 32-bit field of a frame given as "A2 82 60 ..." text.
std::uint32_t uint32At(const QString& frameText, int offset) {
    const auto pairs = frameText.split(' ');
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | pairs.at(offset + i).toUInt(nullptr, 16);
    return v;
}

TEST(DecodeCommand, WritesOneJsonObjectPerSatelliteFrame) {
    const auto run = runDecoder({kSample});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QRegularExpression frameText(R"(^A2 82 60 AC A4 9C 60 A2 84 60 AC A4 A6 E1 03( [0-9A-F]{2})*$)");
    std::map<QString, int> perBeacon;
    QStringList messages;
    QString previousStamp;
    bool sawDecimal = false;
    for (const auto& line : run.lines()) {
        SCOPED_TRACE(line.toStdString());
        const auto o = parseLine(line);
        EXPECT_EQ(o.value("file").toString(), kSample);
        const auto recorded = o.value("recorded").toString();
        EXPECT_EQ(recorded.size(), 23);
        EXPECT_GE(recorded, previousStamp) << "file order";
        previousStamp = recorded;
        const auto frame = o.value("frame").toString();
        ASSERT_TRUE(frameText.match(frame).hasMatch());
        const auto beacon = o.value("beacon").toString();
        const auto texts = o.value("texts").toObject();
        ++perBeacon[beacon];
        // Behind a message line stands the import byte counter: port byte, frame, closing FEND.
        EXPECT_EQ(o.value("beacon_line").toString(),
                  beacon + " beacon" + (beacon == "message" ? " " + QString::number((frame.size() + 1) / 3 + 2) : ""));
        if (beacon == "housekeeping") {
            const auto values = o.value("values").toArray();
            ASSERT_EQ(values.size(), kHousekeepingSlots);
            ASSERT_EQ(texts.size(), kHousekeepingSlots);
            for (int slot = 0; slot < kHousekeepingSlots; ++slot) {
                const auto text = texts.value(QString::number(slot)).toString();
                EXPECT_FALSE(text.isEmpty() || text.contains(',')) << slot;
                sawDecimal = sawDecimal || text.contains('.');
            }
            // The sample's clock reads the time of reception, so the RTC shows its minute.
            EXPECT_EQ(texts.value("3").toString(), recorded.left(16));
            EXPECT_EQ(values.at(3).toDouble(), uint32At(frame, 31) / 60.0) << "stored values are exact";
            const auto uptime = static_cast<std::int32_t>(uint32At(frame, 27));
            EXPECT_EQ(values.at(2).toDouble(), uptime);
            EXPECT_EQ(o.value("uptime").toString().toStdString(), SecondsToDuration(uptime));
        } else if (beacon == "memory check") {
            EXPECT_EQ(texts.keys(), QStringList({"21", "22", "23", "24", "25", "26"}));
            EXPECT_EQ(texts.value("24").toString(), "") << "a zero mark is blank";
        } else if (beacon == "message") {
            messages << o.value("message").toString();
        }
    }
    EXPECT_TRUE(sawDecimal) << "the sample must hold fractions for the locale check to mean anything";
    EXPECT_EQ(perBeacon, (std::map<QString, int>{{"housekeeping", kSampleHousekeeping},
                                                 {"memory check", kSampleMemoryChecks},
                                                 {"message", kSampleMessages}}));
    ASSERT_EQ(messages.size(), kSampleMessages);
    EXPECT_EQ(messages[2], QString::fromUtf8("VARNE-4 OBC 21\u00B0C all nominal")) << "Latin-1 bytes";
}

TEST(DecodeCommand, CsvHasTheSlotLabelsAndOneRowPerHousekeepingBeacon) {
    const auto run = runDecoder({"--format", "csv", kSample});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const auto lines = run.lines();
    ASSERT_EQ(lines.size(), kSampleHousekeeping + 1);
    QByteArray header = "recorded";
    for (const auto& f : housekeepingFields) header += "," + QByteArray::fromStdString(std::string(f.label));
    EXPECT_EQ(lines[0].trimmed(), header);
    const QRegularExpression row(R"(^[-0-9 :.]{23}(,-?[0-9.]+){21}\r?$)"); // "." whatever the locale
    for (const auto& line : lines.mid(1)) EXPECT_TRUE(row.match(line).hasMatch()) << line.toStdString();
}

class DecodeCommandFiles : public testing::Test {
protected:
    test::ScratchFolder folder;
    QString path(std::string_view name) const { return QString::fromStdString((folder / name).string()); }
};

TEST_F(DecodeCommandFiles, ReportsFileProblemsAndReadsOn) {
    ByteVector file; // without time-stamp records
    kiss::appendFrameRecord(file, withPortByte(makeMessageFrame("before")));
    const auto offset = QByteArray::number(static_cast<qulonglong>(file.size()));
    kiss::appendFrameRecord(file, withPortByte(makeMessageFrame(std::string(600, 'x'))));
    kiss::appendFrameRecord(file, withPortByte(makeMessageFrame("after")));
    test::writeFile(folder / "unstamped.kss", file);

    const auto run = runDecoder({path("no_such_recording.kss"), kSample, path("unstamped.kss")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("no_such_recording.kss")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("unstamped.kss") && run.err.contains(offset)) << run.err.toStdString();
    const auto lines = run.lines();
    ASSERT_EQ(lines.size(), kSampleSatelliteFrames + 2);
    const auto before = parseLine(lines[kSampleSatelliteFrames]);
    EXPECT_EQ(before.value("file").toString(), path("unstamped.kss"));
    EXPECT_TRUE(before.value("recorded").isNull()) << "no stamp is taken over from the file before";
    EXPECT_EQ(before.value("message").toString(), "before");
    EXPECT_EQ(parseLine(lines.back()).value("message").toString(), "after");
}

TEST_F(DecodeCommandFiles, SurvivesAnyContent) {
    const auto sample = test::readFile(std::filesystem::path(VARNE4_SOURCE_DIR) / kSample);
    ByteVector noise;
    std::uint32_t x = 12345;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1664525u + 1013904223u;
        const auto b = static_cast<std::uint8_t>(x >> 24);
        noise.push_back(b < 16 ? kiss::FEND : b < 24 ? kiss::FESC : b);
    }
    // Satellite headers with tails of every length, so the decoder sees every kind of short beacon.
    for (std::size_t n = 0; n < 80; ++n)
        for (std::uint8_t type : {0x64, 0x68, 0x04})
            kiss::appendFrameRecord(noise, withPortByte(makeSatelliteFrame(type, type == 0x04 ? 0x67 : type, n)));
    test::writeFile(folder / "noise.kss", noise);
    test::writeFile(folder / "cut.kss", ByteVector(sample.begin(), sample.begin() + sample.size() / 2 + 7));
    test::writeFile(folder / "empty.kss", ByteVector{});

    const auto run = runDecoder({path("noise.kss"), path("cut.kss"), path("empty.kss")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    for (const auto& line : run.lines()) parseLine(line);
}

TEST(SampleRecording, BundledFileIsWhatTheGeneratorMakes) {
    const auto bundled = test::readFile(std::filesystem::path(VARNE4_SOURCE_DIR) / kSample);
    EXPECT_EQ(bundled, makeSampleRecording(kSampleSeed, kSamplePasses))
        << "make the sample again with: varne4-decoder sample samples/varne4_sample.kss";
    EXPECT_LT(bundled.size(), 10000u);
}

} // namespace
} // namespace varne4
