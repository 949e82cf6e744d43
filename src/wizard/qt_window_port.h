// The Qt side of WindowPort and ProgressPort. Any thread may call them; the
// work is done on the UI thread. A worker asking for a message box waits
// until the operator answered. Once the port is closed, or its window is
// gone, every call is answered harmlessly (DefaultAnswer, nothing shown).
#pragma once

#include <QPointer>
#include <QProgressBar>
#include <QWidget>

#include <atomic>
#include <functional>
#include <map>
#include <memory>

#include "platform/window_port.h"

class QTimer;

namespace vcq::ui {

class QtWindowPort : public WindowPort {
  public:
    using TimerHandler = std::function<void(uint32_t id)>;
    using MessageHandler = std::function<void(uint32_t message, uintptr_t wParam, intptr_t lParam)>;

    // Create on the UI thread. `window` owns the boxes and receives nothing
    // else: timers and posted messages go to the handlers.
    QtWindowPort(QWidget* window, TimerHandler onTimer, MessageHandler onMessage);
    ~QtWindowPort() override;
    QtWindowPort(const QtWindowPort&) = delete;
    QtWindowPort& operator=(const QtWindowPort&) = delete;

    MessageAnswer MessageBox(const std::string& text, const std::string& caption, MessageIcon icon,
                             MessageButtons buttons) override;
    void SetTimer(uint32_t id, uint32_t periodMs) override;
    void KillTimer(uint32_t id) override;
    void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    // From now on nothing reaches the window; waiting workers get their
    // default answer. UI thread.
    void Close();
    // UI thread.
    bool TimerActive(uint32_t id) const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

// The progress bar of the manual progress page, as the upgrade worker sees it.
class QtProgressPort : public ProgressPort {
  public:
    explicit QtProgressPort(QProgressBar* bar)
        : bar_(std::make_shared<QPointer<QProgressBar>>(bar)) {}
    void SetRange(int32_t lower, int32_t upper) override;
    void SetPosition(int32_t position) override;
    void Advance(int32_t by) override;

  private:
    void Run(std::function<void(QProgressBar&)> action);
    // Read on the UI thread only; shared with the queued calls.
    std::shared_ptr<QPointer<QProgressBar>> bar_;
};

}  // namespace vcq::ui
