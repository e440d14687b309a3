// The desktop program as a process: a termination request closes its window as
// the close button does, so the shut-down steps run.

#include <QProcess>
#include <QtTest>

#include <csignal>
#include <filesystem>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <sys/types.h>
#endif

#include "core/test_support.h"

using namespace varne4::test;

class DesktopProcessTest : public QObject {
    Q_OBJECT
private slots:
    void terminationRunsTheShutDown_data();
    void terminationRunsTheShutDown();
};

namespace {

std::vector<std::filesystem::path> kissLogs(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> logs;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().extension() == ".kss") logs.push_back(e.path());
    return logs;
}

} // namespace

void DesktopProcessTest::terminationRunsTheShutDown_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void DesktopProcessTest::terminationRunsTheShutDown() {
#ifndef Q_OS_UNIX
    QSKIP("signals are sent this way on Unix only");
#else
    QFETCH(int, signalNumber);
    ScratchFolder folder;
    const auto config = folder / "online_conf.ini";
    writeFile(config, std::string_view{"PORT=127.0.0.1:1\r\nMYCALL=QX7TR\r\n"});

    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(VARNE4_BINARY), {QStringLiteral("--config"), QString::fromStdString(config.string())});
    QVERIFY(app.waitForStarted(10000));
    // Start-up has finished once the run's log exists.
    QTRY_VERIFY_WITH_TIMEOUT(kissLogs(folder.path()).size() == 1, 10000);
    const auto log = kissLogs(folder.path()).front();

    QCOMPARE(::kill(static_cast<pid_t>(app.processId()), signalNumber), 0);
    QVERIFY(app.waitForFinished(10000));
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
    QVERIFY(!std::filesystem::exists(log)); // the run's empty log went with the shut-down
    QVERIFY(std::filesystem::exists(config));
#endif
}

QTEST_MAIN(DesktopProcessTest)
#include "tst_desktop_process.moc"
