#include "base/system_clock.h"

#include <QDateTime>

#include <chrono>

namespace varne4 {

DateTime SystemClock::utcNow() const {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    return dateTimeFromUnixMillis(ms);
}

DateTime SystemClock::localNow() const {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()};
}

} // namespace varne4
