#pragma once

#include <QCheckBox>

namespace kivo {

// "Start Kivo at login": shows and edits the desktop's autostart entry for this program. The
// entry itself is the setting, so it is not part of the preferences record.
class AutostartCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit AutostartCheckBox(QWidget* parent);

    void localize();

private:
    void apply(bool enable);
};

} // namespace kivo
