// The station as the windows and the headless mode drive it: start-up order,
// live frames through a local modem, uploads to a local server, shut-down.

#include "station/station.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include "intake/tcp_link.h"
#include "sim/modem_simulator.h"
#include "sim/sample_recording.h"
#include "sim/telemetry_sink.h"
#include "station/store_and_forward.h"
#include "support/qt_support.h"
#include "support/scripted_http_server.h"

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace varne4;
using test::ByteVector;

class StationTest : public QObject {
    Q_OBJECT

private slots:
    void startUpLogsInOrderAndCreatesTheLogBesideTheConfiguration() {
        test::StationRig rig("# station\r\nPORT = 127.0.0.1:1\r\nSERVER=http://x/\r\nMYCALL=OK1/X\r\n"
                             "QTH_LAT=50,5\r\nQTH_LONG=14.4\r\n");
        QVERIFY(!rig.error);
        QCOMPARE(rig.station.statusLog().text(),
                 "2026-12-05 03:36:34.678: Winsock RemotePort: 1\r\n"
                 "2026-12-05 03:36:34.678: Winsock RemoteHost: 127.0.0.1\r\n"
                 "2026-12-05 03:36:34.678: 127.0.0.1:1 | http://x/ | OK1/X | 50.5 | 14.4\r\n");
        // The callsign's "/" cannot stand in a file name.
        QCOMPARE(rig.station.kissLogPath(), rig.folder / "OK1_X_05122026_0336.kss");
        QCOMPARE(std::filesystem::file_size(rig.station.kissLogPath()), 0u);
    }

    void startUpFailuresStopAtTheirStep_data() {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<int>("logLines");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no PORT") << QByteArray("# nothing\r\n") << 1 << "PORT is missing" << QString();
        QTest::newRow("PORT without colon")
            << QByteArray("PORT=localhost\r\n") << 1 << "PORT has no \":\": localhost" << QString();
        QTest::newRow("line without =") << QByteArray("PORT=localhost:8000\r\nnonsense\r\n") << 0 << "line 2 has no"
                                        << QString();
        // A KISS port replaces PORT, so its own faults are named, even beside a good PORT.
        QTest::newRow("KISS_TCP without colon") << QByteArray("PORT=localhost:8000\r\nKISS_TCP=localhost\r\n") << 1
                                                << "KISS_TCP has no \":\": localhost" << QString();
        QTest::newRow("KISS_TCP port not a number")
            << QByteArray("KISS_TCP=localhost:kiss\r\n") << 1 << "the port of KISS_TCP is not a number" << QString();
        // The link is opened last: a modem never sees a station that then fails to start,
        // and the error says why the system refused the file.
        QTest::newRow("KISS log cannot be created")
            << QByteArray("PORT=127.0.0.1:1\r\nMYCALL=" + QByteArray(300, 'A') + "\r\n") << 1
            << QStringLiteral("cannot create the KISS log ") << QStringLiteral("File name too long");
    }

    void startUpFailuresStopAtTheirStep() {
        QFETCH(QByteArray, config);
        QFETCH(int, logLines);
        QFETCH(QString, description);
        QFETCH(QString, reason);
        test::StationRig rig(QString::fromLatin1(config));
        QVERIFY(rig.error);
        QVERIFY2(QString::fromStdString(rig.error->description).contains(description), rig.error->description.c_str());
        QVERIFY2(QString::fromStdString(rig.error->description).endsWith(reason), rig.error->description.c_str());
        QCOMPARE(rig.station.statusLog().size(), std::size_t(logLines));
        QVERIFY(!rig.station.kissLogOpen());
        QVERIFY(rig.station.link().isClosed());
        QCOMPARE(test::fileNames(rig.folder.path()), QStringList{"online_conf.ini"});
    }

    void liveFramesAreLoggedDecodedAndPostedToBothServers_data() {
        QTest::addColumn<bool>("kiss");
        QTest::newRow("AGW") << false;
        QTest::newRow("KISS TCP") << true;
    }

    void liveFramesAreLoggedDecodedAndPostedToBothServers() {
        QFETCH(bool, kiss);
        const std::vector<ByteVector> sent{
            withPortByte(makeHousekeepingFrame({.uptime = 93784})),
            withPortByte(makeStationFrame("APRS", "OK1ABC-9", "", "!5005.00N/01425.00E-")),
            withPortByte(makeMemoryCheckFrame({0, 60, 0, 0, 0, 4294967295u})),
            ByteVector{0x00}, // a raw frame with the port byte only
        };
        ModemSimulator modem(std::make_unique<test::ListSource>(sent));
        TelemetrySink sink;
        QVERIFY(kiss ? modem.listenKiss() : modem.listen());
        QVERIFY(sink.listen());
        QSignalSpy bodies(&sink, &TelemetrySink::bodyReceived);
        // With a KISS port named, PORT (here pointing nowhere) is not used.
        const QString link = kiss
                                 ? QStringLiteral("PORT=127.0.0.1:1\r\nKISS_TCP=127.0.0.1:%1\r\n").arg(modem.kissPort())
                                 : QStringLiteral("PORT=127.0.0.1:%1\r\n").arg(modem.port());
        test::StationRig rig(link +
                             QStringLiteral("SERVER=http://127.0.0.1:%1/a\r\nSERVER_BACKUP=http://127.0.0.1:%1/b\r\n"
                                            "MYCALL=T1\r\n")
                                 .arg(sink.port()));
        QVERIFY(!rig.error);
        Station& station = rig.station;
        QTRY_COMPARE(bodies.size(), 4);
        QTRY_COMPARE(station.pipeline().postOkCounter(), 4);

        // Every raw frame in the log, each after its own time stamp, byte for byte.
        station.closeKissLog();
        int stamps = 0;
        QVERIFY(test::framesOf(station.kissLogPath(), &stamps) == sent);
        QCOMPARE(stamps, 4);
        QCOMPARE(station.hexMonitor().size(), 4u);
        QCOMPARE(station.pipeline().counterLineText(), std::string("RX packets: 2 | HTTP POST OK: 4"));
        QCOMPARE(station.transferStates().last(), QStringLiteral("icResponseCompleted"));
        QVERIFY(rig.logged(kiss ? ": KISS winsock connection made" : ": AGW winsock connection made"));
        QCOMPARE(rig.logged("; KISS_TCP and PORT both set, PORT not used"), kiss);
        // Each server gets every satellite frame, in order; the two go their own pace.
        QMap<QByteArray, QList<QByteArray>> byServer;
        for (const auto& b : bodies)
            byServer[b[0].toByteArray()] << b[1].toByteArray();
        QCOMPARE(byServer.keys(), (QList<QByteArray>{"/a", "/b"}));
        QCOMPARE(byServer["/a"], byServer["/b"]);
        QVERIFY(byServer["/a"][0].contains("&frame=A2 82 60 AC A4 9C 60 A2 84 60 AC A4 A6 E1 03 F0 "));
        QVERIFY(byServer["/a"][1].contains(" 68 68 "));
    }

    void uploadTimeoutComesFromTheConfiguration() {
        QTcpServer silent; // takes the request and never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        test::StationRig rig(QStringLiteral("PORT=127.0.0.1:1\r\nSERVER=http://127.0.0.1:%1/\r\nUPLOAD_TIMEOUT=1\r\n")
                                 .arg(silent.serverPort()));
        QVERIFY(!rig.error);
        rig.station.postCurrentBody();
        // Well before the 60 s a run without the key waits.
        QTRY_VERIFY_WITH_TIMEOUT(rig.logged(" 0: Transfer timed out after 1000 ms"), 8000);
    }

    void shutDownKeepsOnlyALogThatHoldsFrames_data() {
        QTest::addColumn<bool>("withFrame");
        QTest::newRow("a frame") << true;
        QTest::newRow("no frame") << false;
    }

    void shutDownKeepsOnlyALogThatHoldsFrames() {
        QFETCH(bool, withFrame);
        test::StationRig rig("PORT=127.0.0.1:1\r\nMYCALL=Z\r\n");
        QVERIFY(!rig.error);
        if (withFrame) rig.station.takeLiveFrame(withPortByte(makeStationFrame("CQ", "OK1ABC", "", "hello")));
        rig.station.shutDown();
        rig.station.shutDown(); // a second close finds nothing more to do
        QVERIFY(rig.station.link().isClosed());
        QCOMPARE(std::filesystem::exists(rig.folder / "Z_05122026_0336.kss"), withFrame);
    }

    // Frames whose uploads failed wait in the database; the next run, with the server
    // back, resumes them and delivers each exactly once. The chart and panel of the
    // run before are there again.
    void aRestartInTheMiddleOfAnOutageDeliversEverythingAfterwards() {
        const std::vector<ByteVector> frames{withPortByte(makeHousekeepingFrame({.uptime = 1})),
                                             withPortByte(makeHousekeepingFrame({.uptime = 2})),
                                             withPortByte(makeMessageFrame("hello again"))};
        test::StationRig first(
            QStringLiteral("PORT=127.0.0.1:1\r\nMYCALL=RS\r\nRETRY_MIN=1\r\nSERVER=http://127.0.0.1:1/t\r\n"));
        QVERIFY(!first.error);
        for (const auto& f : frames)
            first.station.takeLiveFrame(f);
        QTRY_VERIFY(first.logged(" 0: Connection refused"));
        // As the window and headless stop: transfers cancelled, then the shut-down; said once.
        first.station.cancelTransfers();
        first.station.shutDown();
        const std::string log = first.station.statusLog().text();
        const std::string kept = "3 upload(s) waiting in the station database: they go out after the next start";
        QVERIFY(log.find(kept) != std::string::npos);
        QCOMPARE(log.find(kept), log.rfind(kept));

        test::ScriptedHttpServer server;
        test::writeFile(first.folder / "online_conf.ini",
                        "PORT=127.0.0.1:1\r\nMYCALL=RS\r\nSERVER=" + server.url().toStdString() + "\r\n");
        // Later: the failed uploads' next attempt has come.
        first.clock.set(dateTimeFromUnixMillis(unixMillis(test::kNow) + 10 * 60 * 1000));
        Station again(first.clock, first.format);
        QVERIFY(!again.startUp({.configPath = first.folder / "online_conf.ini"}));
        const auto logged = [&again](const char* text) {
            return again.statusLog().text().find(text) != std::string::npos;
        };
        QVERIFY(logged(": resuming 3 uploads"));
        QVERIFY(logged(": history restored from the station database: 2 housekeeping beacons"));
        QCOMPARE(again.pipeline().history().size(), 2u);
        QCOMPARE(again.pipeline().panel().slotText[2], std::string("2")); // uptime of the newest beacon
        QCOMPARE(again.pipeline().panel().messages.back(), std::string("hello again"));
        QTRY_COMPARE(again.pipeline().postOkCounter(), 3);
        QCOMPARE(server.requests().size(), 3);
        QVERIFY(server.requests()[0].body.contains(
            "&frame=A2 82 60 AC A4 9C 60 A2 84 60 AC A4 A6 E1 03 F0 00 00 00 64 64"));
        QVERIFY(server.requests()[2].body.contains(" 04 67 "));
        again.shutDown();

        // A plain SQLite file: others read it with their own tools.
        QProcess sqlite;
        sqlite.start("sqlite3",
                     {"-readonly", test::qPath(first.folder / "RS.sqlite"),
                      "select count(*) from frames; select state, count(*) from uploads_utc group by state;"});
        QVERIFY(sqlite.waitForFinished(10000));
        QCOMPARE(sqlite.readAllStandardOutput(), QByteArray("3\nsent|3\n"));
    }

    void anImportedFrameAlreadyStoredIsNeitherStoredNorUploadedAgain() {
        test::StationRig rig("PORT=127.0.0.1:1\r\nMYCALL=IM\r\n", false);
        QVERIFY(!rig.error);
        const ByteVector beacon = withPortByte(makeHousekeepingFrame({}));
        rig.station.takeImportedRecord(beacon, test::kNow, "a.kss");
        QVERIFY(rig.station.lastRecord().stored);
        rig.station.takeImportedRecord(beacon, test::kNow, "a.kss");
        QVERIFY(rig.station.lastRecord().known);
        QVERIFY(!rig.station.lastRecord().stored);
        // Still decoded and counted: the operator sees what the file holds.
        QCOMPARE(rig.station.pipeline().rxCounter(), 2u);
    }

    void aDamagedDatabaseIsPutAsideAndTheRunGoesOn() {
        test::ScratchFolder folder;
        test::writeFile(folder / "online_conf.ini", "PORT=127.0.0.1:1\r\nMYCALL=DMG\r\n");
        test::writeFile(folder / "DMG.sqlite", std::string(4096, 'x'));
        FixedClock clock{test::kNow};
        DisplayFormat format;
        Station station(clock, format);
        QSignalSpy problems(&station, &Station::databaseProblem);
        QVERIFY(!station.startUp({.configPath = folder / "online_conf.ini"}));
        QCOMPARE(problems.size(), 1);
        const QString text = problems[0][0].toString();
        QVERIFY2(text.startsWith("The following error occured: \r\nError # 75\r\nonline_conf.ini "), qPrintable(text));
        QVERIFY2(text.contains("DMG.sqlite is damaged") && text.contains("renamed to"), qPrintable(text));
        QVERIFY(station.database());
        QVERIFY(std::filesystem::exists(folder / "DMG.sqlite.corrupt-20261205033634"));
        station.takeLiveFrame(withPortByte(makeHousekeepingFrame({})));
        QVERIFY(station.lastRecord().stored);
    }

#ifdef Q_OS_LINUX
    // The disk fills up under the database: said once, and the uploads still go out, from memory.
    void aFullDiskUnderTheDatabaseCostsNoUpload() {
        test::ScriptedHttpServer server;
        test::StationRig rig(
            QStringLiteral("PORT=127.0.0.1:1\r\nMYCALL=FULL\r\nSERVER=%1\r\n").arg(QString::fromLatin1(server.url())));
        QVERIFY(!rig.error);
        rig.station.takeLiveFrame(withPortByte(makeHousekeepingFrame({.uptime = 1})));
        QTRY_COMPARE(rig.station.pipeline().postOkCounter(), 1);
        // No file may grow from here on, as on a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        rlimit cut = before;
        cut.rlim_cur = 0;
        setrlimit(RLIMIT_FSIZE, &cut);
        for (std::int32_t n = 2; n <= 4; ++n) {
            rig.station.takeLiveFrame(withPortByte(makeHousekeepingFrame({.uptime = n})));
            QTest::qWait(2 * StoreAndForward::kFlushMs); // a commit comes and fails
        }
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, SIG_DFL);
        QTRY_COMPARE(rig.station.pipeline().postOkCounter(), 4);
        // Each frame once: an upload sent before the disk filled is not sent again
        // because its "sent" could not be written.
        QTest::qWait(5 * StoreAndForward::kFlushMs);
        QCOMPARE(server.requests().size(), 4);
        QCOMPARE(QString::fromStdString(rig.station.statusLog().text()).count("station database write failed"), 1);
        QCOMPARE(rig.station.database()->waitingUploads(), 0);
    }
#endif

    // Runs of the same minute share the log's name: each goes on after the last, and
    // none empties or removes what an earlier one wrote.
    void aRestartInTheSameMinuteGoesOnInTheSameLog() {
        const ByteVector a = withPortByte(makeStationFrame("CQ", "OK1ABC", "", "first run"));
        const ByteVector b = withPortByte(makeStationFrame("CQ", "OK1ABC", "", "third run"));
        test::StationRig first("PORT=127.0.0.1:1\r\nMYCALL=Z\r\n");
        first.station.takeLiveFrame(a);
        first.station.shutDown();
        const auto log = first.folder / "Z_05122026_0336.kss";
        for (const ByteVector* frame : {static_cast<const ByteVector*>(nullptr), &b}) {
            Station again(first.clock, first.format);
            QVERIFY(!again.startUp({.configPath = first.folder / "online_conf.ini"}));
            QCOMPARE(again.kissLogPath(), log);
            if (frame) again.takeLiveFrame(*frame);
            again.shutDown(); // the second run wrote nothing, and still leaves the first run's frames
        }
        QCOMPARE(test::framesOf(log), (std::vector<ByteVector>{a, b}));
    }
};

QTEST_GUILESS_MAIN(StationTest)
#include "station_test.moc"
