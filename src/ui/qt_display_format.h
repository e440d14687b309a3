#pragma once
// Numbers and dates of the panel as the user's locale writes them.

#include <QLocale>
#include <QString>

#include "decode/text_forms.h"

namespace varne4::ui {

class QtDisplayFormat final : public varne4::DisplayFormat {
public:
    explicit QtDisplayFormat(const QLocale& locale = QLocale::system());

    char decimalSeparator() const override { return decimal_; }
    // UTF-8 text of the locale's short date, always with a four-digit year and in
    // digits (a locale that names months or days gets "yyyy-MM-dd").
    std::string shortDate(const DateTime& t) const override;
    char timeSeparator() const override { return timeSeparator_; }

    const QString& dateFormat() const { return dateFormat_; }

private:
    QLocale locale_;
    QString dateFormat_;
    char decimal_ = '.';
    char timeSeparator_ = ':';
};

// A two-digit year would make 1900 and 2000 alike: "yy" becomes "yyyy". Quoted
// literal text is left alone.
QString widenYear(const QString& format);
// The date format for the panel's boxes: the locale's short form with a full
// year, or "yyyy-MM-dd" when that form names a month or a day ("7 Dec 2026" does
// not fit a box, and its words follow the language).
QString numericShortDate(const QString& localeFormat);
// The character between hours and minutes of a time format, ':' when there is
// none or it is not plain ASCII.
char timeSeparatorOf(const QString& timeFormat);

} // namespace varne4::ui
