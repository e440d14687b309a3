#pragma once
// The tooltip of a panel slot: what the value is, and the number behind its text.

#include <QString>

#include <optional>

namespace varne4::ui {

// "RTC [s]", the slot's meaning, and "value: 66747729.0666667" (the stored value,
// "." as decimal separator) or "no value yet".
QString slotToolTip(int slot, const std::optional<double>& value);

} // namespace varne4::ui
