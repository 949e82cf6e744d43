#include "wizard/lists/row_painting.h"

#include <QImage>

#include <algorithm>
#include <cmath>

namespace vcq::ui {
namespace {

// Shades with a brighter body and darker edges, like the program's bitmaps.
std::array<QColor, 17> Banded(QColor edge, QColor body, QColor bottom) {
    std::array<QColor, 17> shades;
    for (size_t i = 0; i < shades.size(); ++i)
        shades[i] = (i < 2 || (i >= 12 && i < 16)) ? edge : body;
    shades[16] = bottom;
    return shades;
}

std::array<QColor, 17> Gradient(QColor top, QColor bottom) {
    std::array<QColor, 17> shades;
    for (size_t i = 0; i < shades.size(); ++i) {
        const double t = static_cast<double>(i) / 16.0;
        shades[i] = QColor::fromRgbF(
            static_cast<float>(top.redF() + (bottom.redF() - top.redF()) * t),
            static_cast<float>(top.greenF() + (bottom.greenF() - top.greenF()) * t),
            static_cast<float>(top.blueF() + (bottom.blueF() - top.blueF()) * t));
    }
    return shades;
}

}  // namespace

const std::array<QColor, 17>& BackgroundShades(RowBackground background) {
    static const std::array<QColor, 17> plain = Gradient(QColor(230, 230, 230), Qt::white);
    static const std::array<QColor, 17> refused =
        Banded(QColor(247, 157, 157), QColor(255, 163, 163), QColor(222, 140, 141));
    static const std::array<QColor, 17> verified =
        Banded(QColor(206, 206, 247), QColor(214, 214, 255), QColor(181, 181, 222));
    static const std::array<QColor, 17> highlighted =
        Gradient(QColor(72, 116, 204), QColor(22, 54, 136));
    static const std::array<QColor, 17> duplicate =
        Banded(QColor(247, 210, 88), QColor(255, 217, 91), QColor(222, 186, 79));
    switch (background) {
        case RowBackground::Refused:
            return refused;
        case RowBackground::Verified:
            return verified;
        case RowBackground::Highlighted:
            return highlighted;
        case RowBackground::Duplicate:
            return duplicate;
        case RowBackground::Plain:
            break;
    }
    return plain;
}

QColor BodyShade(RowBackground background) {
    return BackgroundShades(background)[8];
}

namespace {

double Luminance(const QColor& colour) {
    auto channel = [](float c) {
        return c <= 0.03928f ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& text, const QColor& background) {
    constexpr double kReadable = 4.5;
    const bool darkBackground = Luminance(background) < 0.18;
    QColor colour = text;
    for (int step = 0; step < 20 && ContrastRatio(colour, background) < kReadable; ++step)
        colour = darkBackground ? colour.lighter(125) : colour.darker(125);
    if (ContrastRatio(colour, background) < kReadable)
        colour = darkBackground ? QColor(Qt::white) : QColor(Qt::black);
    return colour;
}

void FillRowBackground(QPainter& painter, const QRect& rect, RowBackground background) {
    StretchShades(painter, rect, BackgroundShades(background));
}

void StretchShades(QPainter& painter, const QRect& rect, std::span<const QColor> shades) {
    QImage strip(1, static_cast<int>(shades.size()), QImage::Format_RGB32);
    for (size_t y = 0; y < shades.size(); ++y)
        strip.setPixel(0, static_cast<int>(y), shades[y].rgb());
    painter.drawImage(rect, strip);
}

QPixmap TickPixmap(TickImage image, int height) {
    QPixmap pixmap(kTickImageWidth, height);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const int box = 13;
    const QRectF frame(2.5, (height - box) / 2 + 0.5, box - 1, box - 1);
    const bool disabled = image == TickImage::Disabled || image == TickImage::DisabledEmpty;
    painter.setPen(QColor(disabled ? 160 : 112, disabled ? 160 : 112, disabled ? 160 : 112));
    painter.setBrush(disabled ? QColor(236, 236, 236) : QColor(Qt::white));
    painter.drawRect(frame);
    if (image == TickImage::Ticked || image == TickImage::Disabled) {
        QPen pen(disabled ? QColor(150, 150, 150) : QColor(20, 20, 20), 2);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        const QPointF o = frame.topLeft();
        const QPointF path[] = {o + QPointF(2.5, 6), o + QPointF(5, 8.5), o + QPointF(9.5, 3)};
        painter.drawPolyline(path, 3);
    }
    return pixmap;
}

QString ElideColumnText(const QFontMetrics& metrics, const QString& text, int width, int margin) {
    if (text.isEmpty() || metrics.horizontalAdvance(text) + margin <= width)
        return text;
    QString buffer = text.left(259);
    const int dots = metrics.horizontalAdvance(QStringLiteral("..."));
    while (buffer.size() > 1 && metrics.horizontalAdvance(buffer) + dots + margin > width) {
        buffer.chop(1);
        if (!buffer.isEmpty() && buffer.back().isHighSurrogate())
            buffer.chop(1);  // never half a character
    }
    return buffer + QStringLiteral("...");
}

void DrawColumnText(QPainter& painter, const QRect& column, const QString& text, int margin) {
    if (text.isEmpty())
        return;
    const QString shown = ElideColumnText(painter.fontMetrics(), text, column.width(), margin);
    painter.drawText(column.adjusted(kColumnInset, 0, -kColumnInset, 0),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
                     shown);
}

}  // namespace vcq::ui
