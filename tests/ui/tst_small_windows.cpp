// The status window's reading of the state word, and the About window's texts.

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include "ui/about_window.h"
#include "ui/status_window.h"

using namespace varne4::ui;

class SmallWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void statusLines_data();
    void statusLines();
    void windowTexts();
};

void SmallWindowsTest::statusLines_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("lines"); // the seven lines, joined by '|'
    const char* bits = "bit 7|bit 6|bit 5|bit 4|bit 3|bit 2|bit 1";
    QTest::newRow("01011110") << "01011110"
                              << "NOMINAL Mode|reserved|ADCS on|Radio A active|Power Path B on Bus|Power Path A on Bus|"
                                 "MCU A active";
    QTest::newRow("00000000") << "00000000"
                              << "?|reserved|ADCS off|Radio B active|Power Path B NOT on Bus|Power Path A NOT on Bus|"
                                 "MCU A active";
    QTest::newRow("11111111")
        << "11111111"
        << "?|reserved|ADCS on|Radio A active|Power Path B on Bus|Power Path A on Bus|MCU B active";
    QTest::newRow("mode 10") << "10000001"
                             << "?|reserved|ADCS off|Radio B active|Power Path B NOT on Bus|Power Path A NOT on Bus|"
                                "MCU B active";
    QTest::newRow("empty") << "" << bits;
    QTest::newRow("blanks") << "   " << bits;
    // Whatever cannot be read shows "?", never a guess.
    QTest::newRow("letters") << "abcdefgh"
                             << "?|reserved|?|?|?|?|?";
    QTest::newRow("short") << "0101"
                           << "NOMINAL Mode|reserved|ADCS on|?|?|?|?";
    QTest::newRow("one bad digit")
        << "0101111x"
        << "NOMINAL Mode|reserved|ADCS on|Radio A active|Power Path B on Bus|Power Path A on Bus|?";
    QTest::newRow("digits other than 0 and 1")
        << "01202020"
        << "NOMINAL Mode|reserved|ADCS off|?|Power Path B NOT on Bus|?|MCU A active";
}

void SmallWindowsTest::statusLines() {
    QFETCH(QString, state);
    QFETCH(QString, lines);
    const StatusLines got = statusLinesFor(state);
    QCOMPARE(QStringList(got.begin(), got.end()).join(QLatin1Char('|')), lines);

    StatusWindow window(state);
    QStringList shown;
    for (int i = 0; i < kStatusLines; ++i)
        shown << window.findChild<QLabel*>(QStringLiteral("Label2_%1").arg(i))->text();
    QCOMPARE(shown.join(QLatin1Char('|')), lines);
}

void SmallWindowsTest::windowTexts() {
    StatusWindow status(QStringLiteral("01011110"));
    status.show();
    QCOMPARE(status.windowTitle(), QStringLiteral("Status"));
    QCOMPARE(status.size(), QSize(293, 194));
    QCOMPARE(status.findChild<QLineEdit*>(QStringLiteral("Text1"))->text(), QStringLiteral("01011110"));
    QCOMPARE(status.findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("VARNE-4 System Status"));
    QCOMPARE(StatusWindow(QStringLiteral("  ")).findChild<QLineEdit*>(QStringLiteral("Text1"))->text(), QString());

    AboutWindow window;
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("About"));
    QCOMPARE(window.size(), QSize(547, 312));
    QVERIFY(!window.windowIcon().isNull());
    auto text = [&](const char* name) { return window.findChild<QLabel*>(QLatin1String(name))->text(); };
    QCOMPARE(text("Label1"), QStringLiteral("VARNE-4 Telemetry Decoder"));
    QCOMPARE(text("Label12"), QStringLiteral("ONLINE VERSION"));
    QCOMPARE(text("Label2"), QStringLiteral("Version 1.7.1    (September 24, 2014)"));
    QVERIFY(text("Label9").contains(QStringLiteral("AGW Packet Engine")) && text("Label9").contains("Soundmodem"));

    const QString disclaimer = text("Label11");
    QCOMPARE(disclaimer, disclaimer.toUpper());
    for (const char* must : {"WITHOUT", "WARRANT", "MERCHANTABILITY", "FITNESS", "SPECIAL", "INDIRECT", "CONSEQUENTIAL",
                             "LOSS OF USE, DATA OR PROFITS", "USE OR PERFORMANCE"})
        QVERIFY2(disclaimer.contains(QLatin1String(must)), must);
}

QTEST_MAIN(SmallWindowsTest)
#include "tst_small_windows.moc"
