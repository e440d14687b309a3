// The demo: the built program's station on a simulated modem and server of its own.

#include <QRegularExpression>
#include <QtTest>

#include "support/qt_support.h"

using namespace varne4;

class DemoTest : public QObject {
    Q_OBJECT

private slots:
    void demoStationRunsOnItsOwn() {
#ifdef Q_OS_WIN
        QSKIP("stops the program with SIGTERM");
#endif
        test::ScratchFolder temp, work;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", test::qPath(temp.path()));
        test::ProgramRun demo({"--headless", "--demo"}, test::qPath(work.path()), env);
        // Beacons come every three seconds; wait for a few, and for answers to their uploads.
        QTRY_VERIFY_WITH_TIMEOUT(
            (demo.out.count("noradID=99931&source=DEMO&") >= 3 && demo.out.contains("HTTP/1.1 201 Created")) ||
                !demo.running(),
            30000);
        // Its web view is on, on loopback, and says where.
        const auto web =
            QRegularExpression("web view on http://127\\.0\\.0\\.1:(\\d+)/").match(QString::fromUtf8(demo.out));
        QVERIFY2(web.hasMatch(), demo.out.left(2000).constData());
        QTcpSocket browser;
        browser.connectToHost(QHostAddress::LocalHost, quint16(web.captured(1).toUInt()));
        QVERIFY(browser.waitForConnected(5000));
        browser.write("GET /api/state HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        QByteArray answer;
        while (browser.waitForReadyRead(5000))
            answer += browser.readAll();
        QVERIFY2(answer.startsWith("HTTP/1.1 200 OK") && answer.contains("\"call\":\"DEMO\""),
                 answer.left(300).constData());
        QVERIFY(demo.stop());
        const auto totals =
            QRegularExpression("\nRX packets: (\\d+) \\| HTTP POST OK: (\\d+)\\s*$").match(QString::fromUtf8(demo.out));
        QVERIFY2(totals.hasMatch(), demo.out.right(200).constData());
        const int rx = totals.captured(1).toInt(), postOk = totals.captured(2).toInt();
        QVERIFY(rx >= 3 && postOk > 0 && postOk <= 2 * rx); // the sink took them, on both server addresses

        // Everything the run wrote, its KISS log among it, is in its demo folder.
        QCOMPARE(test::fileNames(temp.path()), QStringList{"varne4-demo"});
        QVERIFY(test::fileNames(work.path()).isEmpty());
        QCOMPARE(test::fileNames(temp / "varne4-demo").filter(QRegularExpression("^DEMO_.*\\.kss$")).size(), 1);
    }
};

QTEST_GUILESS_MAIN(DemoTest)
#include "demo_test.moc"
