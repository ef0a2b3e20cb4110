#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;

namespace kivo {

// The recognition details window: a read-only, monospaced view of the details text with
// "Close" and "Copy details". Opened window-modal without a nested event loop; `copyRequested`
// fires when the user chooses to copy.
class RecognitionDetailsDialog : public QDialog {
    Q_OBJECT
public:
    struct Texts {
        QString message;
        QString informative;
        QString details;
        QString close;
        QString copy;
    };

    RecognitionDetailsDialog(const Texts& texts, QWidget* parent);

    const QString& details() const { return details_; }
    QPlainTextEdit* view() const { return view_; }

signals:
    void copyRequested(const QString& details);

private:
    QString details_;
    QPlainTextEdit* view_;
};

} // namespace kivo
