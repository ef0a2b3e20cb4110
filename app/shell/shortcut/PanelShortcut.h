#pragma once

#include <QCoreApplication>
#include <QString>

#include <array>
#include <optional>
#include <string_view>

namespace kivo {

// The stored shortcut choice; allCases is also the order of the shortcut pop-up's items.
class PanelShortcut {
    Q_DECLARE_TR_FUNCTIONS(PanelShortcut)

public:
    enum Value : unsigned char {
        rightCommand,
        controlOptionSpace,
        commandShiftSpace,
        disabled
    };

    constexpr PanelShortcut(Value value) : value_(value) {} // NOLINT(google-explicit-constructor)
    constexpr operator Value() const { return value_; }     // NOLINT(google-explicit-constructor)

    static constexpr std::array<Value, 4> allCases{rightCommand, controlOptionSpace, commandShiftSpace, disabled};
    static std::optional<PanelShortcut> fromRawValue(std::string_view raw);
    // The pop-up's item; an index outside the list is the right-key tap.
    static PanelShortcut atIndex(int index);

    std::string_view rawValue() const;
    // The pop-up item's text in the interface language.
    QString title() const;
    int index() const { return static_cast<int>(value_); }

private:
    Value value_;
};

} // namespace kivo
