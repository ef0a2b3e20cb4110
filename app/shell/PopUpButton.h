#pragma once

#include <QComboBox>

namespace kivo {

// The panel's pop-up: a combo box that a screen reader announces by its title (the
// accessibility name) with the selected item as its value. Qt's own combo box on Linux is
// named after its selected item.
class PopUpButton : public QComboBox {
    Q_OBJECT
public:
    explicit PopUpButton(QWidget* parent);
};

} // namespace kivo
