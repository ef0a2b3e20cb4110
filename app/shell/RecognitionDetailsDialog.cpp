#include "app/shell/RecognitionDetailsDialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kivo {

RecognitionDetailsDialog::RecognitionDetailsDialog(const Texts& texts, QWidget* parent)
    : QDialog(parent), details_(texts.details), view_(new QPlainTextEdit(this))
{
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(texts.message);

    auto* layout = new QVBoxLayout(this);
    auto* message = new QLabel(texts.message, this);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    auto* informative = new QLabel(texts.informative, this);
    informative->setWordWrap(true);
    layout->addWidget(message);
    layout->addWidget(informative);

    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(12);
    mono.setWeight(QFont::Normal);
    view_->setFont(mono);
    view_->setReadOnly(true);
    view_->setPlainText(texts.details);
    view_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view_->setFixedWidth(640);
    view_->setMinimumHeight(300);
    layout->addWidget(view_, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(texts.close, QDialogButtonBox::RejectRole);
    QPushButton* copy = buttons->addButton(texts.copy, QDialogButtonBox::ActionRole);
    close->setDefault(true);
    layout->addWidget(buttons);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(copy, &QPushButton::clicked, this, [this] {
        emit copyRequested(details_);
        accept();
    });
}

} // namespace kivo
