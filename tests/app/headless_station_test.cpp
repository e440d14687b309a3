// The station without windows, as a service manager runs it.

#include <QtTest>

#include "sim/modem_simulator.h"
#include "sim/sample_recording.h"
#include "support/qt_support.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace varne4;

class HeadlessStationTest : public QObject {
    Q_OBJECT

private slots:
    void printsTheLogAndExitsCleanlyOnTerminate() {
#ifdef Q_OS_WIN
        QSKIP("terminate() sends WM_CLOSE on Windows");
#endif
        test::ScratchFolder folder;
        test::writeFile(folder / "online_conf.ini", "PORT=127.0.0.1:1\r\nMYCALL=HL\r\n");
        test::ProgramRun run({"--headless", "--no-upload", "--config", test::qPath(folder / "online_conf.ini")},
                             test::qPath(folder.path()));
        QTRY_VERIFY_WITH_TIMEOUT(run.out.contains("Winsock Error"), 10000);
        QVERIFY(run.stop());
        const QList<QByteArray> lines = run.out.trimmed().split('\n');
        QVERIFY(lines.size() >= 5);
        // Oldest first, as each entry entered the log; the counter line last.
        QVERIFY(lines[0].endsWith(": 127.0.0.1:1 |  | HL |  | "));
        QVERIFY(lines[1].endsWith(": Winsock RemoteHost: 127.0.0.1"));
        QVERIFY(lines[2].endsWith(": Winsock RemotePort: 1"));
        QCOMPARE(lines.last(), QByteArray("RX packets: 0 | HTTP POST OK: 0"));
        // The station was shut down: its empty KISS log is gone, its database stays.
        QCOMPARE(test::fileNames(folder.path()), (QStringList{"HL.sqlite", "online_conf.ini"}));
    }

#ifdef Q_OS_UNIX
    // Standard output that nobody reads (a stalled pipe) or that went away (`| head`)
    // must neither stall the station nor kill it: frames are still logged, and it still
    // stops cleanly when told to.
    void anOutputNobodyReadsNeitherStallsNorKillsTheStation_data() {
        QTest::addColumn<bool>("readerGone");
        QTest::newRow("stalled") << false;
        QTest::newRow("closed") << true;
    }

    void anOutputNobodyReadsNeitherStallsNorKillsTheStation() {
        QFETCH(bool, readerGone);
        // Satellite frames without end: each puts a long body line on standard output.
        struct Beacons final : FrameSource {
            std::optional<test::ByteVector> nextFrame() override { return withPortByte(makeHousekeepingFrame({})); }
            int pauseMs() const override { return 0; }
        };
        ModemSimulator modem(std::make_unique<Beacons>());
        modem.setRate(3000);
        QVERIFY(modem.listen());
        test::ScratchFolder folder;
        test::writeFile(folder / "online_conf.ini",
                        "PORT=127.0.0.1:" + std::to_string(modem.port()) + "\r\nMYCALL=OUT\r\n");
        const QString fifo = test::qPath(folder / "stdout");
        QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        const int reader = ::open(fifo.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);

        QProcess station;
        station.setStandardOutputFile(fifo);
        station.start(QStringLiteral(VARNE4_BINARY),
                      {"--headless", "--no-upload", "--config", test::qPath(folder / "online_conf.ini")});
        QVERIFY(station.waitForStarted());
        if (readerGone) ::close(reader);
        // Far more than a pipe holds has gone by, and the log still grows.
        const auto logBytes = [&] {
            qint64 n = 0;
            for (const auto& e : std::filesystem::directory_iterator(folder.path()))
                if (e.path().extension() == ".kss") n += static_cast<qint64>(e.file_size());
            return n;
        };
        QTRY_VERIFY_WITH_TIMEOUT(logBytes() > 400 * 1024, 20000);
        QVERIFY(station.state() == QProcess::Running);
        station.terminate();
        QVERIFY(station.waitForFinished(10000));
        QCOMPARE(station.exitStatus(), QProcess::NormalExit);
        QCOMPARE(station.exitCode(), 0);
        if (!readerGone) ::close(reader);
    }

    // A closed terminal ends the station as SIGTERM does: counter line last, exit 0.
    void hangUpStopsItCleanly() {
        test::ScratchFolder folder;
        test::writeFile(folder / "online_conf.ini", "PORT=127.0.0.1:1\r\nMYCALL=HUP\r\n");
        test::ProgramRun run({"--headless", "--no-upload", "--config", test::qPath(folder / "online_conf.ini")});
        QTRY_VERIFY_WITH_TIMEOUT(run.out.contains("Winsock RemotePort"), 10000);
        ::kill(static_cast<pid_t>(run.process.processId()), SIGHUP);
        QCOMPARE(run.finish(10000), 0);
        QVERIFY(run.out.endsWith("RX packets: 0 | HTTP POST OK: 0\n"));
    }
#endif

    void startUpFailureGoesToStandardError() {
        test::ScratchFolder folder;
        test::writeFile(folder / "online_conf.ini", "PORT=nowhere\r\n");
        test::ProgramRun run({"--headless", "--config", test::qPath(folder / "online_conf.ini")});
        QCOMPARE(run.finish(10000), 1);
        QVERIFY(run.err.startsWith("Open Error\nThe following error occured: \nError # 5\n"));
        QVERIFY(run.err.contains("online_conf.ini PORT has no \":\""));
    }
};

QTEST_GUILESS_MAIN(HeadlessStationTest)
#include "headless_station_test.moc"
