// The About window: the program's name, edition, version and disclaimer.

#include <QLabel>
#include <QtTest>

#include "ui/about_window.h"

class AboutWindowTest : public QObject {
    Q_OBJECT
private slots:
    void showsTheProgramAndItsVersion() {
        varne4::ui::AboutWindow window;
        window.show();
        QCOMPARE(window.objectName(), QStringLiteral("Info"));
        QCOMPARE(window.windowTitle(), QStringLiteral("About"));
        QCOMPARE(window.size(), QSize(547, 312));
        QVERIFY(!window.windowIcon().isNull());
        auto text = [&](const char* name) { return window.findChild<QLabel*>(QLatin1String(name))->text(); };
        QCOMPARE(text("Label1"), QStringLiteral("VARNE-4 Telemetry Decoder"));
        QCOMPARE(text("Label12"), QStringLiteral("ONLINE VERSION"));
        // The version the build was made with.
        QCOMPARE(text("Label2"), QStringLiteral("Version " VARNE4_VERSION "    (September 24, 2014)"));
        QVERIFY(text("Label9").contains(QStringLiteral("AGW Packet Engine")) && text("Label9").contains("Soundmodem"));

        const QString disclaimer = text("Label11");
        QCOMPARE(disclaimer, disclaimer.toUpper());
        for (const char* must : {"WITHOUT WARRANTY", "MERCHANTABILITY", "FITNESS", "LOSS OF USE, DATA OR PROFITS"})
            QVERIFY2(disclaimer.contains(QLatin1String(must)), must);
    }
};

QTEST_MAIN(AboutWindowTest)
#include "about_window_test.moc"
