#include "wizard/image_button.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

namespace vcq::ui {
namespace {

constexpr int kSize = ImageButton::kSize;

void DrawGlyph(QPainter& painter, const QString& caption, QColor color, int shift) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    const int c = kSize / 2 + shift;  // centre
    if (caption == "PREV") {
        painter.drawPolygon(
            QPolygon({QPoint(c - 3, c), QPoint(c + 2, c - 5), QPoint(c + 2, c + 5)}));
    } else if (caption == "NEXT") {
        painter.drawPolygon(
            QPolygon({QPoint(c + 3, c), QPoint(c - 2, c - 5), QPoint(c - 2, c + 5)}));
    } else if (caption == "ADD") {
        painter.drawRect(c - 4, c - 1, 9, 3);
        painter.drawRect(c - 1, c - 4, 3, 9);
    } else if (caption == "DEL") {
        painter.drawRect(c - 4, c - 1, 9, 3);
    }
}

// The classic 3D edge: light top-left, shadow bottom-right, or the reverse.
void DrawEdge(QPainter& painter, const QPalette& palette, bool sunken, QRect r) {
    const QColor outerLight =
        sunken ? palette.color(QPalette::Shadow) : palette.color(QPalette::Light);
    const QColor outerDark =
        sunken ? palette.color(QPalette::Light) : palette.color(QPalette::Shadow);
    const QColor innerLight =
        sunken ? palette.color(QPalette::Dark) : palette.color(QPalette::Midlight);
    const QColor innerDark =
        sunken ? palette.color(QPalette::Midlight) : palette.color(QPalette::Dark);
    auto frame = [&](QRect box, QColor topLeft, QColor bottomRight) {
        painter.setPen(topLeft);
        painter.drawLine(box.topLeft(), box.topRight());
        painter.drawLine(box.topLeft(), box.bottomLeft());
        painter.setPen(bottomRight);
        painter.drawLine(box.bottomLeft(), box.bottomRight());
        painter.drawLine(box.topRight(), box.bottomRight());
    };
    frame(r.adjusted(0, 0, -1, -1), outerLight, outerDark);
    frame(r.adjusted(1, 1, -2, -2), innerLight, innerDark);
}

}  // namespace

QPixmap DrawImageButtonPicture(const QString& caption, ImageButton::State state,
                               const QPalette& palette) {
    QPixmap picture(kSize, kSize);
    picture.fill(palette.color(QPalette::Button));
    QPainter painter(&picture);
    const bool down = state == ImageButton::State::Down;
    QRect box(0, 0, kSize, kSize);
    if (state == ImageButton::State::Focused) {
        // A dark outline marks the focused button, as on a default button.
        painter.setPen(palette.color(QPalette::Shadow));
        painter.drawRect(0, 0, kSize - 1, kSize - 1);
        box.adjust(1, 1, -1, -1);
    }
    DrawEdge(painter, palette, down, box);
    if (state == ImageButton::State::Disabled) {
        DrawGlyph(painter, caption, palette.color(QPalette::Light), 1);
        DrawGlyph(painter, caption, palette.color(QPalette::Dark), 0);
    } else {
        DrawGlyph(painter, caption, palette.color(QPalette::ButtonText), down ? 1 : 0);
    }
    return picture;
}

ImageButton::ImageButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
    setFixedSize(kSize, kSize);
    setAutoDefault(false);
    setAccessibleName(caption);
    setToolTip(caption);
    Load();
}

ImageButton::State ImageButton::CurrentState() const {
    if (!isEnabled())
        return State::Disabled;
    if (isDown())
        return State::Down;
    if (hasFocus())
        return State::Focused;
    return State::Up;
}

void ImageButton::Load() {
    for (State state : {State::Up, State::Down, State::Focused, State::Disabled})
        pictures_[static_cast<size_t>(state)] = DrawImageButtonPicture(text(), state, palette());
}

void ImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, Picture(CurrentState()));
}

void ImageButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        Load();
    QPushButton::changeEvent(event);
}

// The second press of a double-click is a press of its own, so that a quick
// double-click on NEXT moves on twice.
void ImageButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QPushButton::mouseDoubleClickEvent(event);
        return;
    }
    doubleClicked_ = true;
    setDown(true);
    event->accept();
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event) {
    if (doubleClicked_ && event->button() == Qt::LeftButton) {
        doubleClicked_ = false;
        setDown(false);
        if (rect().contains(event->position().toPoint()))
            click();
        event->accept();
        return;
    }
    QPushButton::mouseReleaseEvent(event);
}

}  // namespace vcq::ui
