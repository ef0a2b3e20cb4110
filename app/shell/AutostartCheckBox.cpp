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

void AutostartCheckBox::localize()
{
    setText(tr("Start Kivo at login"));
    setToolTip(tr("Open Kivo automatically when you log in to the desktop."));
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
    setToolTip(
        tr("Could not change the autostart entry: %1").arg(QString::fromStdString(AutostartEntry::path().string())));
}

} // namespace kivo
