#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QClipboard;
class QMimeData;

namespace kivo {

// Borrows the clipboard for one paste: keeps a deep copy of what the user had, puts our text
// there, and gives the user's contents back when the lease ends, unless somebody else has
// written to it since. Main thread.
class InputPasteboardLease : public QObject {
public:
    static constexpr qsizetype copyLimit = 10'000'000;

    // Defaults to the application's clipboard (CLIPBOARD selection).
    explicit InputPasteboardLease(QClipboard* board = nullptr);

    // Copies every format, then writes `text`; false leaves the clipboard untouched.
    bool stage(const QString& text);
    // Our text is still what the clipboard holds.
    bool isCurrent() const;
    // Ends the lease; restores the saved contents (true) unless somebody else has written since.
    bool finish();

    bool active() const { return writeCount_.has_value(); }
    // Another application has read our text since it was staged.
    bool served() const { return *served_; }
    // Counts every change of the clipboard seen since this lease was made.
    std::uint64_t changeCount() const { return changeCount_; }

private:
    using Item = std::vector<std::pair<QString, QByteArray>>;

    std::optional<Item> copyItem() const;
    QMimeData* makeMimeData(const Item& item) const;

    QClipboard* board_;
    std::uint64_t changeCount_ = 0;
    std::optional<Item> items_;
    std::optional<std::uint64_t> writeCount_;
    std::shared_ptr<bool> served_ = std::make_shared<bool>(false);
};

} // namespace kivo
