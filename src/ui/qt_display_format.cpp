#include "ui/qt_display_format.h"

#include <QDate>

#include "base/qt_text.h"

namespace varne4::ui {

namespace {

// The core keeps texts as bytes; a separator outside ASCII would not survive as one.
char asciiOr(const QString& s, char fallback) {
    if (s.size() == 1 && s[0].unicode() > 0x20 && s[0].unicode() < 0x7F) return static_cast<char>(s[0].unicode());
    return fallback;
}

} // namespace

QString widenYear(const QString& format) {
    QString out;
    out.reserve(format.size() + 2);
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
            ++i;
            continue;
        }
        if (quoted || c != u'y') {
            out += c;
            ++i;
            continue;
        }
        qsizetype run = 0;
        while (i + run < format.size() && format[i + run] == u'y')
            ++run;
        out += QString(run == 2 ? 4 : run, u'y');
        i += run;
    }
    return out;
}

QString numericShortDate(const QString& localeFormat) {
    bool quoted = false;
    for (qsizetype i = 0; i < localeFormat.size(); ++i) {
        const QChar c = localeFormat[i];
        if (c == u'\'') quoted = !quoted;
        if (quoted || (c != u'M' && c != u'd')) continue;
        qsizetype run = 1;
        while (i + run < localeFormat.size() && localeFormat[i + run] == c)
            ++run;
        if (run > 2) return QStringLiteral("yyyy-MM-dd"); // a name: "MMM", "dddd"
        i += run - 1;
    }
    return widenYear(localeFormat);
}

char timeSeparatorOf(const QString& timeFormat) {
    bool quoted = false;
    for (qsizetype i = 0; i < timeFormat.size(); ++i) {
        const QChar c = timeFormat[i];
        if (c == u'\'') {
            quoted = !quoted;
            continue;
        }
        if (quoted || (c != u'h' && c != u'H')) continue;
        qsizetype j = i;
        while (j < timeFormat.size() && (timeFormat[j] == u'h' || timeFormat[j] == u'H'))
            ++j;
        if (j < timeFormat.size() && timeFormat[j] != u'm' && timeFormat[j] != u'\'')
            return asciiOr(QString(timeFormat[j]), ':');
        return ':';
    }
    return ':';
}

QtDisplayFormat::QtDisplayFormat(const QLocale& locale)
    : locale_(locale), dateFormat_(numericShortDate(locale.dateFormat(QLocale::ShortFormat))),
      decimal_(asciiOr(locale.decimalPoint(), '.')),
      timeSeparator_(timeSeparatorOf(locale.timeFormat(QLocale::ShortFormat))) {}

std::string QtDisplayFormat::shortDate(const DateTime& t) const {
    const QDate date(t.year, t.month, t.day);
    if (!date.isValid()) return DisplayFormat::shortDate(t);
    return utf8(locale_.toString(date, dateFormat_));
}

} // namespace varne4::ui
