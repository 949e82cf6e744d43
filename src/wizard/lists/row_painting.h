// What the owner-drawn camera lists share when they draw a row: the row
// backgrounds (vertical gradients of 17 shades, stretched over the row), the
// tick images, and the ellipsis rule for column texts.
#pragma once

#include <QColor>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QRect>
#include <QString>

#include <array>
#include <span>

namespace vcq::ui {

enum class RowBackground {
    Plain,        // not verified: light grey to white
    Refused,      // verification failed, or the address is already listed: pink
    Verified,     // lavender
    Highlighted,  // selected: dark blue
    Duplicate,    // an address entered twice: amber
};

// The 17 shades of a background, top first.
const std::array<QColor, 17>& BackgroundShades(RowBackground background);
// The shade that most of a row's height shows, which its texts stand on.
QColor BodyShade(RowBackground background);
// Contrast of two colours as screens show them: 1 (none) to 21.
double ContrastRatio(const QColor& a, const QColor& b);
// `text`, darkened (lightened on a dark background) until it reads on
// `background` at 4.5 to 1.
QColor ReadableOn(const QColor& text, const QColor& background);
// Stretches the background's shades over `rect`.
void FillRowBackground(QPainter& painter, const QRect& rect, RowBackground background);
// Stretches a column of shades, top first, over `rect` (a 1-pixel-wide bitmap).
void StretchShades(QPainter& painter, const QRect& rect, std::span<const QColor> shades);

// The program's three images, and an empty grey box so that a disabled list
// still tells unticked rows apart.
enum class TickImage { Empty = 0, Ticked = 1, Disabled = 2, DisabledEmpty = 3 };
inline constexpr int kTickImageWidth = 20;
// The tick box of a row `height` pixels high.
QPixmap TickPixmap(TickImage image, int height);

// Texts are drawn 6 pixels in from each side of their column.
inline constexpr int kColumnInset = 6;
inline constexpr int kEllipsisMargin = 12;

// `text` as it fits `width` with `margin` to spare: unchanged when it fits,
// else cut a character at a time from the end and followed by "...", down to
// a single character.
QString ElideColumnText(const QFontMetrics& metrics, const QString& text, int width,
                        int margin = kEllipsisMargin);
// A column's text: elided for the column, inset, single line, vertically
// centred, left-aligned, not clipped.
void DrawColumnText(QPainter& painter, const QRect& column, const QString& text,
                    int margin = kEllipsisMargin);

}  // namespace vcq::ui
