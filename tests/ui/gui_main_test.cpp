// The desktop program as a process: a termination request closes its window as
// the close button does, so the shut-down steps run.

#include <QProcess>
#include <QtTest>

#include <csignal>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <sys/types.h>
#endif

#include "window_rig.h"

using namespace varne4;
using namespace varne4::test;

class GuiMainTest : public QObject {
    Q_OBJECT
private slots:
    void terminationRunsTheShutDown_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void terminationRunsTheShutDown() {
#ifndef Q_OS_UNIX
        QSKIP("signals are sent this way on Unix only");
#else
        QFETCH(int, signalNumber);
        ScratchFolder folder;
        const auto config = folder / texts::kConfigFileName;
        writeFile(config, validConfig());

        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        app.setProcessEnvironment(env);
        app.start(QStringLiteral(VARNE4_BINARY), {QStringLiteral("--config"), qpath(config)});
        QVERIFY(app.waitForStarted(10000));
        // Start-up has finished once the run's log exists.
        QTRY_VERIFY_WITH_TIMEOUT(kissLogsIn(folder.path()).size() == 1, 10000);
        const auto log = kissLogsIn(folder.path()).front();

        QCOMPARE(::kill(static_cast<pid_t>(app.processId()), signalNumber), 0);
        QVERIFY(app.waitForFinished(10000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
        QVERIFY(!std::filesystem::exists(log)); // the run's empty log went with the shut-down
        QVERIFY(std::filesystem::exists(config));
#endif
    }
};

QTEST_MAIN(GuiMainTest)
#include "gui_main_test.moc"
