#include "app/shell/PopUpButton.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>

namespace kivo {
namespace {

class PopUpAccessible : public QAccessibleWidget {
public:
    explicit PopUpAccessible(PopUpButton* popUp) : QAccessibleWidget(popUp, QAccessible::ComboBox) {}

    PopUpButton* popUp() const { return static_cast<PopUpButton*>(object()); }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && !popUp()->accessibleName().isEmpty()) {
            return popUp()->accessibleName();
        }
        if (kind == QAccessible::Name || kind == QAccessible::Value) {
            return popUp()->currentText();
        }
        return QAccessibleWidget::text(kind);
    }

    // The item list, as Qt's own combo box exposes it.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(popUp()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child && child->object() == popUp()->view() ? 0 : -1;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == showMenuAction() || name == pressAction()) {
            if (popUp()->view()->isVisible()) {
                popUp()->hidePopup();
            } else {
                popUp()->showPopup();
            }
        } else {
            QAccessibleWidget::doAction(name);
        }
    }
};

QAccessibleInterface* makeAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String(PopUpButton::staticMetaObject.className())) {
        if (auto* popUp = qobject_cast<PopUpButton*>(object)) {
            return new PopUpAccessible(popUp); // owned by Qt's accessibility cache
        }
    }
    return nullptr;
}

} // namespace

PopUpButton::PopUpButton(QWidget* parent) : QComboBox(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(makeAccessible);
        return true;
    }();
    (void)installed;
}

} // namespace kivo
