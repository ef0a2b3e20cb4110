// Placeholder entry point until the floating panel lands: it opens a small window that says
// what is built so far, so the run command has something real to show.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral(
        "Kivo\n\nThe conversion library is built.\nThe floating panel is not built yet."));
    label.setAlignment(Qt::AlignCenter);
    label.setMargin(24);
    label.setWindowTitle(QStringLiteral("Kivo"));
    label.show();
    return QApplication::exec();
}
