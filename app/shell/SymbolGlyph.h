#pragma once

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

namespace kivo::SymbolGlyph {

// The freedesktop icon name standing in for a symbol name of the panel ("mic.fill" and so on);
// empty for an unknown symbol.
QString themeName(const QString& symbol);

// Draws the symbol in one colour inside `box`: the theme's icon recoloured when the theme has
// one, else a drawn glyph, so the panel never shows an empty button.
void paint(QPainter& painter, const QRectF& box, const QString& symbol, const QColor& color);

// The drawn glyph alone (also used when the theme lacks the icon).
void paintGlyph(QPainter& painter, const QRectF& box, const QString& symbol, const QColor& color);

} // namespace kivo::SymbolGlyph
