#include "station/debug_file.h"

#include <QtTest>

#include "support/qt_support.h"

using namespace varne4;

class DebugFileTest : public QObject {
    Q_OBJECT

private slots:
    void holdsLogHexAndConfiguration_data() {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<bool>("withFrame");
        QTest::newRow("config ends with CR LF, no frames")
            << QByteArray("PORT=127.0.0.1:1\r\nMYCALL=XY1Z\r\n") << false;
        QTest::newRow("config without final CR LF, a frame") << QByteArray("PORT=127.0.0.1:1\r\nMYCALL=XY1Z") << true;
    }

    void holdsLogHexAndConfiguration() {
        QFETCH(QByteArray, config);
        QFETCH(bool, withFrame);
        test::StationRig rig(QString::fromLatin1(config), false);
        if (withFrame) rig.station.takeLiveFrame(test::ByteVector{0x00, 0x41, 0x0A});
        const QByteArray logText = QByteArray::fromStdString(rig.station.statusLog().text());
        const auto path = writeDebugFile(rig.station);
        QCOMPARE(path, rig.folder / "XY1Z_05122026_0336.txt");
        const QByteArray sep = QByteArray(52, '-') + "\r\n";
        QCOMPARE(test::toQt(test::readFile(path)),
                 "Debugfile ORSEL-1 Online Telemetry Decoder (QX7TR)\r\nVersion: 1.7.1\r\n" + sep + logText + "\r\n" +
                     sep + (withFrame ? "41 0A \r\n" : "") + "\r\n" + sep + config + "\r\n" + sep +
                     "thanks 73, Tamo \r\nQX7TR\r\n");
        QVERIFY(rig.station.statusLog().line(0).ends_with("debug file written: " + path.string()));
    }
};

QTEST_GUILESS_MAIN(DebugFileTest)
#include "debug_file_test.moc"
