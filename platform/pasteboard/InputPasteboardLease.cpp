#include "platform/pasteboard/InputPasteboardLease.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace kivo {

namespace {

// Formats the X11 selection machinery answers itself, and Qt's in-process image type.
bool isInternalFormat(const QString& format)
{
    return format == u"TARGETS" || format == u"TIMESTAMP" || format == u"MULTIPLE" || format == u"SAVE_TARGETS" ||
           format == u"application/x-qt-image";
}

// The staged text; notes when a reader asks for it, which on X11 happens only through us.
class LeasedText : public QMimeData {
public:
    explicit LeasedText(std::shared_ptr<bool> served) : served_(std::move(served)) {}

protected:
    QVariant retrieveData(const QString& format, QMetaType type) const override
    {
        *served_ = true;
        return QMimeData::retrieveData(format, type);
    }

private:
    std::shared_ptr<bool> served_;
};

} // namespace

InputPasteboardLease::InputPasteboardLease(QClipboard* board) : board_(board ? board : QGuiApplication::clipboard())
{
    connect(board_, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard) {
            ++changeCount_;
        }
    });
}

std::optional<InputPasteboardLease::Item> InputPasteboardLease::copyItem() const
{
    Item item;
    const QMimeData* data = board_->mimeData(QClipboard::Clipboard);
    if (!data) {
        return item;
    }
    qsizetype total = 0;
    for (const QString& format : data->formats()) {
        if (isInternalFormat(format)) {
            continue;
        }
        // An empty format is still the user's data (`printf '' | xclip` makes one) and comes back empty.
        QByteArray bytes = data->data(format);
        total += bytes.size();
        if (total > copyLimit) {
            return std::nullopt;
        }
        bytes.detach();
        item.emplace_back(format, std::move(bytes));
    }
    return item;
}

QMimeData* InputPasteboardLease::makeMimeData(const Item& item) const
{
    auto* data = new QMimeData;
    for (const auto& [format, bytes] : item) {
        data->setData(format, bytes);
    }
    return data;
}

bool InputPasteboardLease::stage(const QString& text)
{
    const std::uint64_t before = changeCount_;
    std::optional<Item> copy = copyItem();
    if (!copy || changeCount_ != before) {
        return false;
    }
    items_ = std::move(copy);
    auto* data = new LeasedText(served_);
    data->setText(text);
    board_->setMimeData(data, QClipboard::Clipboard);
    writeCount_ = changeCount_;
    const bool written = board_->text(QClipboard::Clipboard) == text;
    *served_ = false;
    if (!written) {
        finish();
        return false;
    }
    return true;
}

bool InputPasteboardLease::isCurrent() const
{
    return writeCount_ && *writeCount_ == changeCount_;
}

bool InputPasteboardLease::finish()
{
    const bool restore = isCurrent() && items_;
    if (restore) {
        if (items_->empty()) {
            board_->clear(QClipboard::Clipboard);
        } else {
            board_->setMimeData(makeMimeData(*items_), QClipboard::Clipboard);
        }
    }
    items_.reset();
    writeCount_.reset();
    *served_ = false;
    return restore;
}

} // namespace kivo
