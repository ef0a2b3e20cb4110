#include "app/shell/AutostartCheckBox.h"

#include "platform/autostart/AutostartEntry.h"

#include <QCoreApplication>
#include <QSignalBlocker>

namespace kivo {

AutostartCheckBox::AutostartCheckBox(QWidget* parent) : QCheckBox(parent)
{
    setChecked(AutostartEntry::enabled());
    connect(this, &QCheckBox::toggled, this, [this](bool checked) { apply(checked); });
}

void AutostartCheckBox::localize(bool chinese)
{
    chinese_ = chinese;
    setText(chinese ? QStringLiteral("登入時啟動 Kivo") : QStringLiteral("Start Kivo at login"));
    setToolTip(chinese ? QStringLiteral("登入桌面時自動開啟 Kivo。")
                       : QStringLiteral("Open Kivo automatically when you log in to the desktop."));
}

void AutostartCheckBox::apply(bool enable)
{
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    if (AutostartEntry::setEnabled(enable, program)) {
        return;
    }
    // The file could not be changed: show what is really there.
    const QSignalBlocker blocker(this);
    setChecked(AutostartEntry::enabled());
    setToolTip(chinese_ ? QStringLiteral("無法更改自動啟動項目：") + QString::fromStdString(AutostartEntry::path().string())
                        : QStringLiteral("Could not change the autostart entry: ") +
                              QString::fromStdString(AutostartEntry::path().string()));
}

} // namespace kivo
