// No value box cuts its text: the longest values the beacons can carry, written
// the way four locales write them, each fit the box the layout gives it.

#include <QLineEdit>
#include <QtTest>

#include "ui/fit_text.h"
#include "ui/qt_display_format.h"
#include "window_rig.h"

using namespace varne4;
using namespace varne4::test;

namespace {

// Beacons whose texts are as long as their fields allow: extremes of every sign.
std::vector<ByteVector> longestBeacons() {
    std::vector<ByteVector> frames;
    for (const bool low : {false, true}) {
        HousekeepingSample s;
        s.beaconRate = 0xFF;
        s.eventIndicator = low ? 0xBBBB : 0xFFFF;
        s.uptime = low ? INT32_MIN : INT32_MAX;
        s.rtc = low ? secondsSince1900({2028, 12, 28, 23, 58, 0, 0}) : 0xFFFFFFFF;
        s.state = low ? 0x00 : 0xFF;
        s.chargeA = s.chargeB = 255;
        s.voltageA = s.voltageB = 65535;
        s.currentA = s.currentB = low ? INT16_MIN : INT16_MAX;
        s.tempA = s.tempB = low ? -127 : 127; // -63.5 and 63.5
        s.power = 65535;
        s.temps.fill(low ? -127 : 127);
        frames.push_back(makeHousekeepingFrame(s));
    }
    const auto mark = secondsSince1900({2028, 12, 28, 23, 58, 0, 0});
    frames.push_back(makeMemoryCheckFrame({mark, mark, mark, mark, mark, mark}));
    return frames;
}

} // namespace

class FitTextTest : public QObject {
    Q_OBJECT
private slots:
    void everyValueBoxShowsItsWholeText_data() {
        QTest::addColumn<QString>("locale");
        for (const char* name : {"de_DE", "en_US", "C", "ja_JP"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void everyValueBoxShowsItsWholeText() {
        QFETCH(QString, locale);
        WindowRig rig(validConfig(), false, std::make_unique<ui::QtDisplayFormat>(QLocale(locale)));
        rig.window->show();
        for (const ByteVector& frame : longestBeacons()) {
            rig.live(frame);
            int boxes = 0;
            for (QLineEdit* box : rig.window->findChildren<QLineEdit*>()) {
                if (!box->isVisible() || box->text().isEmpty()) continue;
                ++boxes;
                const int room = ui::textRoom(box);
                QVERIFY2(room > 0 && room < box->width(), qPrintable(box->objectName()));
                const int needed = QFontMetrics(box->font()).horizontalAdvance(box->text());
                QVERIFY2(needed <= room, qPrintable(QStringLiteral("%1 cuts \"%2\": %3 of %4 pixels")
                                                        .arg(box->objectName(), box->text())
                                                        .arg(needed)
                                                        .arg(room)));
            }
            QVERIFY(boxes >= 6);
        }
        // The dates are whole, with their year.
        QVERIFY2(rig.valueBox(21)->text().contains(QStringLiteral("2028")), qPrintable(rig.valueBox(21)->text()));
        QVERIFY(rig.valueBox(21)->text().endsWith(QStringLiteral("23:58")));
    }
};

QTEST_MAIN(FitTextTest)
#include "fit_text_test.moc"
