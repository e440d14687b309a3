// Numbers and dates of the panel in the forms of the user's locale.

#include <QLocale>
#include <QtTest>

#include "ui/qt_display_format.h"

using namespace varne4;
using namespace varne4::ui;

class QtDisplayFormatTest : public QObject {
    Q_OBJECT
private slots:
    void formsFollowTheLocaleWithFullYears() {
        // A two-digit year would show 1900 as 2000.
        const std::pair<const char*, const char*> widened[] = {
            {"M/d/yy", "M/d/yyyy"},     {"dd.MM.yy", "dd.MM.yyyy"},       {"dd/MM/yyyy", "dd/MM/yyyy"},
            {"yy-MM-dd", "yyyy-MM-dd"}, {"d 'yy' M yy", "d 'yy' M yyyy"}, {"d.M.", "d.M."},
        };
        for (const auto& [format, expected] : widened)
            QCOMPARE(widenYear(QLatin1String(format)), QLatin1String(expected));
        // Names of months and days make way for digits: they do not fit a value box.
        const std::pair<const char*, const char*> numeric[] = {
            {"d MMM yyyy", "yyyy-MM-dd"}, {"dddd, d. MMMM yyyy", "yyyy-MM-dd"}, {"dd.MM.yy", "dd.MM.yyyy"},
            {"yyyy/MM/dd", "yyyy/MM/dd"}, {"d 'MMM' M yy", "d 'MMM' M yyyy"},   {"M/d/yy", "M/d/yyyy"},
        };
        for (const auto& [format, expected] : numeric)
            QCOMPARE(numericShortDate(QLatin1String(format)), QLatin1String(expected));

        // Separators and dates as the locale writes them.
        const std::tuple<const char*, char, char, const char*> rows[] = {{"C", '.', ':', "1900-01-02"},
                                                                         {"en_US", '.', ':', "1/2/1900"},
                                                                         {"de_DE", ',', ':', "02.01.1900"},
                                                                         {"en_GB", '.', ':', "02/01/1900"},
                                                                         {"fi_FI", ',', '.', "2.1.1900"}};
        for (const auto& [locale, decimal, time, date] : rows) {
            const QtDisplayFormat format{QLocale(QLatin1String(locale))};
            QCOMPARE(format.decimalSeparator(), decimal);
            QCOMPARE(format.timeSeparator(), time);
            QCOMPARE(format.shortDate(DateTime{1900, 1, 2}), std::string(date));
            // A date the calendar does not know falls back to the fixed form, never to nothing.
            QCOMPARE(format.shortDate(DateTime{2023, 2, 30}), DisplayFormat().shortDate(DateTime{2023, 2, 30}));
        }
    }
};

QTEST_MAIN(QtDisplayFormatTest)
#include "qt_display_format_test.moc"
