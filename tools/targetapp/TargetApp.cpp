// kivo-target-app: a window of ordinary inputs that tests write into from outside, driven by
// one JSON command a line on standard input and answering one JSON line each on standard output.
//   {"cmd":"focus","field":F}                       activate the window and focus input F
//   {"cmd":"set","field":F,"text":T,"start":S,"end":E}  value and selection (UTF-16 offsets)
//   {"cmd":"get","field":F}                         {"text":..,"start":..,"end":..}
//   {"cmd":"setClipboard","formats":{MIME:HEX,..}}  own the clipboard with these formats
//   {"cmd":"clipboard"}                             {"formats":{MIME:HEX,..}} as this app reads it
//   {"cmd":"quit"}
// Inputs: line, multi, password, disabled, combo.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFormLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTextCursor>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>

namespace {

class TargetWindow : public QWidget {
public:
    TargetWindow()
    {
        setWindowTitle(QStringLiteral("Kivo target"));
        auto* layout = new QFormLayout(this);
        line = add<QLineEdit>(layout, "line");
        multi = add<QPlainTextEdit>(layout, "multi");
        password = add<QLineEdit>(layout, "password");
        password->setEchoMode(QLineEdit::Password);
        disabled = add<QLineEdit>(layout, "disabled");
        disabled->setText(QStringLiteral("off"));
        disabled->setEnabled(false);
        combo = add<QComboBox>(layout, "combo");
        combo->setEditable(true);
        combo->addItems({QStringLiteral("one"), QStringLiteral("two")});
        combo->setCurrentIndex(-1);
    }

    QWidget* field(const QString& name) const
    {
        const auto found = fields.find(name);
        return found == fields.end() ? nullptr : found->second;
    }

    QLineEdit* lineEdit(QWidget* widget) const
    {
        if (auto* box = qobject_cast<QComboBox*>(widget)) {
            return box->lineEdit();
        }
        return qobject_cast<QLineEdit*>(widget);
    }

    QLineEdit* line = nullptr;
    QPlainTextEdit* multi = nullptr;
    QLineEdit* password = nullptr;
    QLineEdit* disabled = nullptr;
    QComboBox* combo = nullptr;

private:
    template <class W>
    W* add(QFormLayout* layout, const char* name)
    {
        auto* widget = new W(this);
        widget->setAccessibleName(QString::fromLatin1(name));
        widget->setObjectName(QString::fromLatin1(name));
        layout->addRow(QString::fromLatin1(name), widget);
        fields[QString::fromLatin1(name)] = widget;
        return widget;
    }

    std::map<QString, QWidget*> fields;
};

void reply(const QJsonObject& object)
{
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
}

QJsonObject failure(const QString& why)
{
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), why}};
}

class Driver {
public:
    explicit Driver(TargetWindow& window) : window_(window) {}

    void handle(const QByteArray& line)
    {
        const QJsonObject command = QJsonDocument::fromJson(line).object();
        const QString cmd = command.value(QStringLiteral("cmd")).toString();
        QWidget* widget = window_.field(command.value(QStringLiteral("field")).toString());
        if (cmd == u"focus" && widget) {
            return focus(widget);
        }
        if (cmd == u"set" && widget) {
            set(widget, command.value(QStringLiteral("text")).toString(),
                command.value(QStringLiteral("start")).toInt(), command.value(QStringLiteral("end")).toInt());
            return reply({{QStringLiteral("ok"), true}});
        }
        if (cmd == u"get" && widget) {
            return reply(get(widget));
        }
        if (cmd == u"setClipboard") {
            auto* data = new QMimeData;
            const QJsonObject formats = command.value(QStringLiteral("formats")).toObject();
            for (auto it = formats.begin(); it != formats.end(); ++it) {
                data->setData(it.key(), QByteArray::fromHex(it.value().toString().toLatin1()));
            }
            QGuiApplication::clipboard()->setMimeData(data);
            return reply({{QStringLiteral("ok"), true}});
        }
        if (cmd == u"clipboard") {
            QJsonObject formats;
            if (const QMimeData* data = QGuiApplication::clipboard()->mimeData()) {
                for (const QString& format : data->formats()) {
                    formats[format] = QString::fromLatin1(data->data(format).toHex());
                }
            }
            return reply({{QStringLiteral("ok"), true}, {QStringLiteral("formats"), formats}});
        }
        if (cmd == u"quit") {
            reply({{QStringLiteral("ok"), true}});
            return QCoreApplication::quit();
        }
        reply(failure(QStringLiteral("unknown command or field")));
    }

private:
    // Answers once the window is active and the input really holds the keyboard focus.
    void focus(QWidget* widget)
    {
        window_.activateWindow();
        window_.raise();
        widget->setFocus(Qt::OtherFocusReason);
        auto* poll = new QTimer(&window_);
        auto tries = std::make_shared<int>(0);
        QObject::connect(poll, &QTimer::timeout, poll, [this, poll, widget, tries] {
            QWidget* focused = QApplication::focusWidget();
            const bool ready = window_.isActiveWindow() && focused &&
                               (focused == widget || widget->isAncestorOf(focused) || focused->focusProxy() == widget);
            if (ready || ++*tries > 200) {
                poll->deleteLater();
                reply(ready ? QJsonObject{{QStringLiteral("ok"), true}} : failure(QStringLiteral("focus not taken")));
            } else if (*tries % 20 == 0) {
                window_.activateWindow();
                widget->setFocus(Qt::OtherFocusReason);
            }
        });
        poll->start(10);
    }

    void set(QWidget* widget, const QString& text, int start, int end)
    {
        if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
            edit->setPlainText(text);
            QTextCursor cursor = edit->textCursor();
            cursor.setPosition(start);
            cursor.setPosition(end, QTextCursor::KeepAnchor);
            edit->setTextCursor(cursor);
        } else if (QLineEdit* edit = window_.lineEdit(widget)) {
            edit->setText(text);
            edit->setSelection(start, end - start);
            if (start == end) {
                edit->setCursorPosition(start);
            }
        }
    }

    QJsonObject get(QWidget* widget) const
    {
        QString text;
        int start = 0;
        int end = 0;
        if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
            text = edit->toPlainText();
            start = edit->textCursor().selectionStart();
            end = edit->textCursor().selectionEnd();
        } else if (QLineEdit* edit = window_.lineEdit(widget)) {
            text = edit->text();
            start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
            end = edit->hasSelectedText() ? edit->selectionEnd() : edit->cursorPosition();
        }
        return {{QStringLiteral("ok"), true},
                {QStringLiteral("text"), text},
                {QStringLiteral("start"), start},
                {QStringLiteral("end"), end}};
    }

    TargetWindow& window_;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kivo-target-app"));
    TargetWindow window;
    window.resize(480, 320);
    window.show();
    Driver driver(window);

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &input, [&] {
        char buffer[65536];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, count);
        for (qsizetype newline = pending.indexOf('\n'); newline >= 0; newline = pending.indexOf('\n')) {
            const QByteArray line = pending.left(newline);
            pending.remove(0, newline + 1);
            driver.handle(line);
        }
    });
    QTimer::singleShot(0, &window, [] { reply({{QStringLiteral("ready"), true}}); });
    return QApplication::exec();
}
