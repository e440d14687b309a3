// The station without windows, as a service manager runs it.

#include <QtTest>

#include "support/qt_support.h"

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
        // The station was shut down: its empty KISS log is gone.
        QCOMPARE(test::fileNames(folder.path()), QStringList{"online_conf.ini"});
    }

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
