#include "ui/slot_tool_tip.h"

#include "decode/beacon_table.h"
#include "decode/text_forms.h"

namespace varne4::ui {

QString slotToolTip(int slot, const std::optional<double>& value) {
    const std::string_view label = slotLabel(slot), unit = slotUnit(slot), meaning = slotMeaning(slot);
    QString tip = QString::fromLatin1(label.data(), static_cast<qsizetype>(label.size()));
    if (!unit.empty()) tip += QStringLiteral(" [") + QString::fromLatin1(unit.data(), qsizetype(unit.size())) + ']';
    tip += QLatin1Char('\n') + QString::fromLatin1(meaning.data(), static_cast<qsizetype>(meaning.size()));
    if (!value) return tip + QStringLiteral("\nno value yet");
    const bool memoryCheck = slot >= kHousekeepingSlots;
    return tip + QStringLiteral("\nvalue: ") + QString::fromStdString(generalNumberText(*value)) +
           (memoryCheck ? QStringLiteral(" s since 1900") : QString());
}

} // namespace varne4::ui
