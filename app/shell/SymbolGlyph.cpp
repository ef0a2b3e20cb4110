#include "app/shell/SymbolGlyph.h"

#include <QGuiApplication>
#include <QHash>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace kivo::SymbolGlyph {
namespace {

QIcon themed(const QString& symbol)
{
    const QString name = themeName(symbol);
    if (name.isEmpty()) {
        return {};
    }
    for (const QString& candidate : {name + QStringLiteral("-symbolic"), name}) {
        if (QIcon::hasThemeIcon(candidate)) {
            return QIcon::fromTheme(candidate);
        }
    }
    return {};
}

} // namespace

QString themeName(const QString& symbol)
{
    static const QHash<QString, QString> names{
        {QStringLiteral("mic.fill"), QStringLiteral("audio-input-microphone")},
        {QStringLiteral("stop.fill"), QStringLiteral("media-playback-stop")},
        {QStringLiteral("xmark"), QStringLiteral("window-close")},
        {QStringLiteral("slider.horizontal.3"), QStringLiteral("preferences-system")},
        {QStringLiteral("chevron.up"), QStringLiteral("go-up")},
        {QStringLiteral("text.alignleft"), QStringLiteral("format-justify-left")},
        {QStringLiteral("doc.on.doc"), QStringLiteral("edit-copy")},
        {QStringLiteral("doc.on.clipboard"), QStringLiteral("edit-paste")},
        {QStringLiteral("info"), QStringLiteral("dialog-information")},
        {QStringLiteral("arrow.uturn.backward"), QStringLiteral("edit-undo")},
        {QStringLiteral("arrow.clockwise"), QStringLiteral("view-refresh")},
    };
    return names.value(symbol);
}

void paint(QPainter& painter, const QRectF& box, const QString& symbol, const QColor& color)
{
    const QIcon icon = themed(symbol);
    if (icon.isNull()) {
        paintGlyph(painter, box, symbol, color);
        return;
    }
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize size = box.size().toSize();
    QPixmap pixmap = icon.pixmap(size, ratio);
    if (pixmap.isNull()) {
        paintGlyph(painter, box, symbol, color);
        return;
    }
    {
        // Theme icons come in their own colours; the panel wants one tint per state.
        QPainter tint(&pixmap);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(pixmap.rect(), color);
    }
    painter.drawPixmap(box.toRect(), pixmap);
}

void paintGlyph(QPainter& painter, const QRectF& box, const QString& symbol, const QColor& color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = std::min(box.width(), box.height());
    const QPointF c = box.center();
    const qreal u = s / 16.0; // glyphs are designed on a 16-unit grid
    auto at = [&](qreal x, qreal y) { return QPointF(c.x() + (x - 8) * u, c.y() + (y - 8) * u); };
    QPen pen(color, std::max(1.0, 1.6 * u), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);

    if (symbol == QLatin1String("mic.fill")) {
        painter.setBrush(color);
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(at(5.5, 1), at(10.5, 10)), 2.5 * u, 2.5 * u);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        QPainterPath cup;
        cup.moveTo(at(3.5, 7.5));
        cup.cubicTo(at(3.5, 13), at(12.5, 13), at(12.5, 7.5));
        painter.drawPath(cup);
        painter.drawLine(at(8, 12), at(8, 15));
    } else if (symbol == QLatin1String("stop.fill")) {
        painter.setBrush(color);
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(at(3, 3), at(13, 13)), 1.5 * u, 1.5 * u);
    } else if (symbol == QLatin1String("xmark")) {
        painter.drawLine(at(4, 4), at(12, 12));
        painter.drawLine(at(12, 4), at(4, 12));
    } else if (symbol == QLatin1String("slider.horizontal.3")) {
        for (int row = 0; row < 3; ++row) {
            const qreal y = 3.5 + row * 4.5;
            const qreal knob = row == 1 ? 10.5 : 5.5;
            painter.drawLine(at(2, y), at(14, y));
            painter.setBrush(color);
            painter.drawEllipse(at(knob, y), 1.4 * u, 1.4 * u);
            painter.setBrush(Qt::NoBrush);
        }
    } else if (symbol == QLatin1String("chevron.up")) {
        painter.drawPolyline(QPolygonF{at(3, 10.5), at(8, 5.5), at(13, 10.5)});
    } else if (symbol == QLatin1String("text.alignleft")) {
        const qreal ends[] = {14, 10, 14, 8};
        for (int row = 0; row < 4; ++row) {
            painter.drawLine(at(2, 3 + row * 3.3), at(ends[row], 3 + row * 3.3));
        }
    } else if (symbol == QLatin1String("doc.on.doc")) {
        painter.drawRoundedRect(QRectF(at(5.5, 5), at(13.5, 15)), 1.5 * u, 1.5 * u);
        painter.drawPolyline(QPolygonF{at(2.5, 11.5), at(2.5, 2), at(10, 2)});
    } else if (symbol == QLatin1String("doc.on.clipboard")) {
        painter.drawRoundedRect(QRectF(at(3, 3), at(13, 15)), 1.5 * u, 1.5 * u);
        painter.setBrush(color);
        painter.drawRoundedRect(QRectF(at(5.5, 1.5), at(10.5, 4.5)), 1 * u, 1 * u);
        painter.setBrush(Qt::NoBrush);
        painter.drawLine(at(5.5, 8.5), at(10.5, 8.5));
        painter.drawLine(at(5.5, 11.5), at(9, 11.5));
    } else if (symbol == QLatin1String("info")) {
        painter.drawEllipse(c, 6.5 * u, 6.5 * u);
        painter.drawLine(at(8, 7.2), at(8, 11.8));
        painter.setBrush(color);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(at(8, 4.7), 1.1 * u, 1.1 * u);
    } else if (symbol == QLatin1String("arrow.uturn.backward")) {
        QPainterPath path;
        path.moveTo(at(4, 6));
        path.lineTo(at(10, 6));
        path.cubicTo(at(15, 6), at(15, 13), at(10, 13));
        path.lineTo(at(6, 13));
        painter.drawPath(path);
        painter.drawPolyline(QPolygonF{at(6.5, 3.5), at(4, 6), at(6.5, 8.5)});
    } else if (symbol == QLatin1String("arrow.clockwise")) {
        QPainterPath path;
        path.arcMoveTo(QRectF(at(2.5, 2.5), at(13.5, 13.5)), 60);
        path.arcTo(QRectF(at(2.5, 2.5), at(13.5, 13.5)), 60, 300);
        painter.drawPath(path);
        painter.drawPolyline(QPolygonF{at(10, 1.5), at(11.2, 3.3), at(9, 4.8)});
    } else {
        painter.setBrush(color);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(c, 2 * u, 2 * u);
    }
    painter.restore();
}

} // namespace kivo::SymbolGlyph
