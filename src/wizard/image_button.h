// A small push button showing a picture instead of its caption: PREV, NEXT,
// ADD or DEL, 19 x 19 pixels, in four states (up, pressed, focused,
// disabled). The pictures are drawn here in the current button colours and
// drawn again when the palette changes. The caption stays the button's text
// for screen readers; a double-click counts as two clicks.
#pragma once

#include <QPixmap>
#include <QPushButton>

#include <array>

namespace vcq::ui {

class ImageButton : public QPushButton {
    Q_OBJECT
  public:
    enum class State { Up, Down, Focused, Disabled };
    static constexpr int kSize = 19;

    explicit ImageButton(const QString& caption, QWidget* parent = nullptr);

    State CurrentState() const;
    const QPixmap& Picture(State state) const { return pictures_[static_cast<size_t>(state)]; }
    QSize sizeHint() const override { return {kSize, kSize}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void Load();

    std::array<QPixmap, 4> pictures_;
    bool doubleClicked_ = false;
};

// The picture named by `caption` ("PREV", "NEXT", "ADD", "DEL") in `state`.
QPixmap DrawImageButtonPicture(const QString& caption, ImageButton::State state,
                               const QPalette& palette);

}  // namespace vcq::ui
