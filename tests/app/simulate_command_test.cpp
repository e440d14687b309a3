// `simulate`: the frames of KISS recordings, looping, for modem clients of other processes.

#include <QRegularExpression>
#include <QtTest>

#include "sim/sample_recording.h"
#include "support/qt_support.h"

using namespace varne4;

class SimulateCommandTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        test::writeFile(folder / "good.kss", makeSampleRecording(kSampleSeed, kSamplePasses));
        test::writeFile(folder / "empty.kss", "");
    }

    void refusesWhatItCannotServe() {
        const struct {
            QString args; // "@name" stands for name.kss in the test's folder
            int exitCode;
            const char* message; // on standard error only
        } cases[] = {{"", 2, "usage:"},
                     {"--rate 0 @good", 2, "--rate"},
                     {"--port 70000 @good", 2, "--port"},
                     {"--loop @good", 2, "--loop"},
                     {"@good @missing", 1, "missing.kss"},
                     {"@empty", 1, "no frames"}};
        for (const auto& c : cases) {
            QStringList args{"simulate"};
            for (const QString& a : c.args.split(' ', Qt::SkipEmptyParts))
                args << (a.startsWith('@') ? path(a.mid(1) + ".kss") : a);
            test::ProgramRun run(args);
            QCOMPARE(run.finish(10000), c.exitCode);
            QVERIFY2(run.out.isEmpty() && run.err.contains(c.message), qPrintable(c.args + ": " + run.err));
        }
    }

    void playsTheRecordingOverAndOverToEitherKindOfClient_data() {
        QTest::addColumn<bool>("kiss");
        QTest::newRow("AGW") << false;
        QTest::newRow("KISS TCP") << true;
    }

    void playsTheRecordingOverAndOverToEitherKindOfClient() {
        QFETCH(bool, kiss);
        const auto recording = test::framesOf(folder / "good.kss");
        QVERIFY(recording.size() > 20);
        test::ProgramRun simulator(kiss ? QStringList{"simulate", "--kiss", "--rate", "500", path("good.kss")}
                                        : QStringList{"simulate", "--rate", "500", path("good.kss")});
        QTRY_VERIFY(simulator.out.contains('\n') || !simulator.running());
        const auto announced = QRegularExpression(kiss ? "^simulating on 127\\.0\\.0\\.1:(\\d+) \\(KISS TCP\\)\n$"
                                                       : "^simulating on 127\\.0\\.0\\.1:(\\d+)\n$")
                                   .match(QString::fromUtf8(simulator.out));
        QVERIFY2(announced.hasMatch(), simulator.out.constData());
        test::SocketPeer client(quint16(announced.captured(1).toUInt()), kiss ? QByteArray() : test::agwRequest('k'));
        const auto heard = [&] { return kiss ? test::kissRecordsIn(client.got) : test::rawFramesIn(client.got); };
        // The whole recording once, and into its second round.
        QTRY_VERIFY_WITH_TIMEOUT(heard().size() > recording.size() + 5, 10000);
        QVERIFY(simulator.stop());
        const auto frames = heard();
        for (std::size_t i = 0; i < frames.size(); ++i)
            QVERIFY2(frames[i] == recording[i % recording.size()], qPrintable(QString::number(i)));
    }

private:
    QString path(const QString& name) const { return test::qPath(folder / name.toStdString()); }
    test::ScratchFolder folder;
};

QTEST_GUILESS_MAIN(SimulateCommandTest)
#include "simulate_command_test.moc"
