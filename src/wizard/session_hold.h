// While a camera is being upgraded the system stays awake and a shut-down or
// log-off waits, with the reason Windows shows beside the window: a laptop
// asleep or shut down mid-upload or mid-restore leaves a camera half done.
#pragma once

#include <QObject>

#include <cstdint>

class QWidget;

namespace vcq::ui {

class SessionHold : public QObject {
  public:
    explicit SessionHold(QWidget* window);
    ~SessionHold() override;

    // Both may be called again: only the first Begin and the first End count.
    void Begin();
    void End();
    bool Holding() const { return handle_ != 0; }

  private:
    QWidget* window_;
    std::uintptr_t handle_ = 0;  // the native window holding the session's end
};

}  // namespace vcq::ui
