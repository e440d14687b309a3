// The command line: options as parsed, and the program's answers to them,
// including where a headless station finds its settings and puts its data.

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "app/command_line.h"
#include "station/station.h"
#include "support/qt_support.h"

using namespace varne4;

namespace {

std::filesystem::path absolute(const char* path) { return std::filesystem::absolute(path); }

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void parsesTheStationOptions();
    void takesAScreenshotTimeAndFile();
    void answersHelpVersionAndMistakes_data();
    void answersHelpVersionAndMistakes();
    void headlessFindsItsSettingsAndData_data();
    void headlessFindsItsSettingsAndData();
};

void CommandLineTest::parsesTheStationOptions() {
    const struct {
        std::vector<std::string> args;
        const char* error; // nullptr: parsed
        std::filesystem::path config{}, data{};
        bool headless = false, help = false, version = false;
    } cases[] = {
        {{}, nullptr},
        {{"--headless", "--data", "logs", "--config", "a.ini"}, nullptr, absolute("a.ini"), absolute("logs"), true},
        {{"--data=/srv/v4", "--config=/etc/x.ini"}, nullptr, absolute("/etc/x.ini"), absolute("/srv/v4")},
        {{"--headless", "--version"}, nullptr, {}, {}, true, false, true},
        {{"-h"}, nullptr, {}, {}, false, true},
        {{"--data"}, "--data needs a value"},
        {{"--data="}, "--data needs a value"},
        {{"--config"}, "--config needs a value"},
        {{"--database", "x"}, "unknown option: --database"},
        {{"--headless", "decode"}, "unknown option: decode"},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto parsed = parseStationCommandLine(c.args, error);
        const QByteArray what = QByteArray::fromStdString(c.args.empty() ? "(none)" : c.args.front());
        QVERIFY2(parsed.has_value() == !c.error, what.constData());
        if (c.error) {
            QCOMPARE(error, std::string(c.error));
            continue;
        }
        QCOMPARE(parsed->configPath, c.config);
        QCOMPARE(parsed->dataFolder, c.data);
        QCOMPARE(parsed->headless, c.headless);
        QCOMPARE(parsed->showHelp, c.help);
        QCOMPARE(parsed->showVersion, c.version);
        const StationOptions options = stationOptionsFor(*parsed);
        QCOMPARE(options.dataFolder, c.data);
        QCOMPARE(options.configPath, c.config);
    }
}

// Only scripts/screenshot uses it; the usage text does not show it.
void CommandLineTest::takesAScreenshotTimeAndFile() {
    std::string error;
    const auto cl = parseStationCommandLine({"--demo", "--screenshot-after", "90", "docs/window.png"}, error);
    QVERIFY2(cl, error.c_str());
    QCOMPARE(cl->screenshotAfterSeconds, 90);
    QCOMPARE(cl->screenshotFile, std::filesystem::current_path() / "docs/window.png");
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--screenshot-after", "0", "a.png"},
                                                {"--screenshot-after", "x", "a.png"},
                                                {"--screenshot-after", "5"}})
        QVERIFY(!parseStationCommandLine(bad, error));
    QCOMPARE(std::string(kUsage).find("--screenshot"), std::string::npos);
}

void CommandLineTest::answersHelpVersionAndMistakes_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("usageOnStdout");
    QTest::addColumn<QByteArray>("stderrStart");
    QTest::newRow("--help") << QStringList{"--help"} << 0 << true << QByteArray();
    QTest::newRow("help") << QStringList{"help"} << 0 << true << QByteArray();
    QTest::newRow("--version") << QStringList{"--version"} << 0 << false << QByteArray();
    QTest::newRow("unknown") << QStringList{"--verbose"} << 2 << false
                             << QByteArray("varne4-decoder: unknown option: --verbose\nusage: ");
    QTest::newRow("--data without a folder") << QStringList{"--headless", "--data"} << 2 << false
                                             << QByteArray("varne4-decoder: --data needs a value\nusage: ");
}

void CommandLineTest::answersHelpVersionAndMistakes() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(bool, usageOnStdout);
    QFETCH(QByteArray, stderrStart);
    test::ProgramRun run(args);
    QCOMPARE(run.finish(10000), exitCode);
    QVERIFY2(run.err.startsWith(stderrStart), run.err.constData());
    if (stderrStart.isEmpty()) QVERIFY2(run.err.isEmpty(), run.err.constData());
    if (usageOnStdout) {
        // Every option and command, each with its line of explanation.
        for (const char* item : {"--config FILE", "--data DIR", "--headless", "--no-upload", "--demo", "--version",
                                 "--help", "decode", "history", "uploads", "simulate", "sample"})
            QVERIFY2(QRegularExpression(QStringLiteral("\n  %1 +\\S").arg(QRegularExpression::escape(item)))
                         .match(QString::fromUtf8(run.out))
                         .hasMatch(),
                     item);
    } else if (exitCode == 0) {
        QVERIFY2(QRegularExpression(QStringLiteral("^varne4-decoder \\d+\\.\\d+\\.\\d+\\n$"))
                     .match(QString::fromUtf8(run.out))
                     .hasMatch(),
                 run.out.constData());
    } else {
        QVERIFY(run.out.isEmpty());
        QVERIFY(run.err.contains("\n  --data DIR "));
    }
}

void CommandLineTest::headlessFindsItsSettingsAndData_data() {
    QTest::addColumn<QString>("configAt"); // where the settings lie, under the scratch folder
    QTest::addColumn<QStringList>("args"); // "@" stands for the scratch folder
    QTest::addColumn<QString>("dataAt");   // where the KISS log must appear; empty: start-up fails
    QTest::addColumn<QByteArray>("error");
    QTest::newRow("the user's folder, data in the user's data folder")
        << "config/varne4-decoder/online_conf.ini" << QStringList{} << "data/varne4-decoder" << QByteArray();
    QTest::newRow("--data names a new folder")
        << "elsewhere/online_conf.ini" << QStringList{"--config", "@/elsewhere/online_conf.ini", "--data", "@/new/logs"}
        << "new/logs" << QByteArray();
    QTest::newRow("--data that cannot be a folder")
        << "elsewhere/online_conf.ini" << QStringList{"--config", "@/elsewhere/online_conf.ini", "--data", "@/file"}
        << QString() << QByteArray("online_conf.ini Path/File access error: cannot create the data folder ");
    QTest::newRow("found nowhere: every place named")
        << QString() << QStringList{} << QString()
        << QByteArray("online_conf.ini File not found: " VARNE4_BINARY_DIR "/online_conf.ini; @/config/varne4-decoder/"
                      "online_conf.ini; /etc/varne4-decoder/online_conf.ini");
}

void CommandLineTest::headlessFindsItsSettingsAndData() {
#ifndef Q_OS_LINUX
    QSKIP("the user's and the system's folders are looked at on Linux only");
#endif
    QFETCH(QString, configAt);
    QFETCH(QStringList, args);
    QFETCH(QString, dataAt);
    QFETCH(QByteArray, error);
    const QString programConfig = QStringLiteral(VARNE4_BINARY_DIR "/online_conf.ini");
    if (QFile::exists(programConfig) || QFile::exists("/etc/varne4-decoder/online_conf.ini"))
        QSKIP("a configuration beside the program or in /etc would be found first");

    QTemporaryDir dir;
    const QDir scratch(dir.path());
    if (!configAt.isEmpty()) {
        QVERIFY(scratch.mkpath(QFileInfo(scratch.filePath(configAt)).path()));
        QFile config(scratch.filePath(configAt));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("PORT=127.0.0.1:1\r\nMYCALL=DF1\r\n");
    }
    QFile(scratch.filePath("file")).open(QIODevice::WriteOnly);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", dir.path());
    env.insert("XDG_CONFIG_HOME", scratch.filePath("config"));
    env.insert("XDG_DATA_HOME", scratch.filePath("data"));
    QStringList fullArgs{"--headless", "--no-upload"};
    for (const QString& a : args)
        fullArgs << QString(a).replace('@', dir.path());

    if (dataAt.isEmpty()) {
        test::ProgramRun run(fullArgs, {}, env);
        QCOMPARE(run.finish(10000), 1);
        QVERIFY2(run.err.contains(QByteArray(error).replace('@', dir.path().toUtf8())), run.err.constData());
        return;
    }
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VARNE4_BINARY), fullArgs);
    // The run's KISS log exists while it runs; an empty one is removed at the end.
    const QDir data(scratch.filePath(dataAt));
    QTRY_VERIFY_WITH_TIMEOUT(!data.entryList({"DF1_*.kss"}, QDir::Files).isEmpty(), 10000);
    p.terminate();
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
