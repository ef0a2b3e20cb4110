// kivo-icon OUTDIR: writes the application icon as PNG files of the hicolor theme's usual
// sizes (OUTDIR/NxN/apps/local.kivo.afm-trial.png). The drawing follows the scalable icon in
// bundle/desktop/ shape for shape, on the same 256-unit grid.
#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <cstdio>

namespace {

QImage paint(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);

    QLinearGradient background(0, 16, 0, 240);
    background.setColorAt(0, QColor(0x2e, 0x9e, 0x8f));
    background.setColorAt(1, QColor(0x1d, 0x6f, 0x86));
    painter.setPen(Qt::NoPen);
    painter.setBrush(background);
    painter.drawRoundedRect(QRectF(16, 16, 224, 224), 52, 52);

    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(100, 52, 56, 100), 28, 28);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 14, Qt::SolidLine, Qt::RoundCap));
    QPainterPath stand;
    stand.moveTo(76, 120);
    stand.arcTo(QRectF(76, 68, 104, 104), 180, 180);
    painter.drawPath(stand);
    painter.drawLine(QPointF(128, 172), QPointF(128, 198));
    painter.drawLine(QPointF(100, 200), QPointF(156, 200));
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kivo-icon OUTDIR\n");
        return 2;
    }
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!QDir().mkpath(folder) || !paint(size).save(folder + QStringLiteral("/local.kivo.afm-trial.png"))) {
            std::fprintf(stderr, "kivo-icon: cannot write %s\n", folder.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
