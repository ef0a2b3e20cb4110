#include "app/shell/shortcut/PanelShortcut.h"

namespace kivo {

std::optional<PanelShortcut> PanelShortcut::fromRawValue(std::string_view raw)
{
    for (const Value value : allCases) {
        if (PanelShortcut(value).rawValue() == raw) {
            return PanelShortcut(value);
        }
    }
    return std::nullopt;
}

PanelShortcut PanelShortcut::atIndex(int index)
{
    if (index < 0 || index >= static_cast<int>(allCases.size())) {
        return rightCommand;
    }
    return allCases[static_cast<std::size_t>(index)];
}

std::string_view PanelShortcut::rawValue() const
{
    switch (value_) {
    case rightCommand: return "rightCommand";
    case controlOptionSpace: return "controlOptionSpace";
    case commandShiftSpace: return "commandShiftSpace";
    case disabled: return "disabled";
    }
    return {};
}

// Written as Linux desktops write keys; the raw values keep their original names for saved settings.
QString PanelShortcut::title() const
{
    switch (value_) {
    case rightCommand: return tr("Right Super (tap)");
    case controlOptionSpace: return QStringLiteral("Ctrl+Alt+Space");
    case commandShiftSpace: return QStringLiteral("Shift+Super+Space");
    case disabled: return tr("Disabled");
    }
    return {};
}

} // namespace kivo
