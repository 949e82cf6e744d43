#include "wizard/qt_window_port.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <future>

#include "wizard/message_presenter.h"

namespace vcq::ui {
namespace {

bool OnUiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Runs `action` on the UI thread: at once when already there, else queued.
// False when there is no application to queue to.
template <typename F>
bool OnUi(F action) {
    if (OnUiThread()) {
        action();
        return true;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return false;
    return QMetaObject::invokeMethod(app, std::move(action), Qt::QueuedConnection);
}

}  // namespace

struct QtWindowPort::State {
    std::atomic<bool> closed{false};
    QPointer<QWidget> window;
    TimerHandler onTimer;
    MessageHandler onMessage;
    // UI thread only. Stopped timers stay here: a handler may kill the very
    // timer whose tick it is handling.
    std::map<uint32_t, QTimer*> timers;
};

QtWindowPort::QtWindowPort(QWidget* window, TimerHandler onTimer, MessageHandler onMessage)
    : state_(std::make_shared<State>()) {
    state_->window = window;
    state_->onTimer = std::move(onTimer);
    state_->onMessage = std::move(onMessage);
}

QtWindowPort::~QtWindowPort() {
    Close();
}

void QtWindowPort::Close() {
    state_->closed = true;
    for (auto& [id, timer] : state_->timers) {
        timer->stop();
        timer->deleteLater();
    }
    state_->timers.clear();
}

bool QtWindowPort::TimerActive(uint32_t id) const {
    auto found = state_->timers.find(id);
    return found != state_->timers.end() && found->second->isActive();
}

MessageAnswer QtWindowPort::MessageBox(const std::string& text, const std::string& caption,
                                       MessageIcon icon, MessageButtons buttons) {
    std::shared_ptr<State> state = state_;
    const MessageAnswer fallback = DefaultAnswer(buttons);
    if (state->closed)
        return fallback;
    MessageRequest request{text, caption, icon, buttons};
    if (OnUiThread()) {
        QWidget* window = state->window;
        return window ? ActivePresenter().Present(window, request) : fallback;
    }

    // The promise lives only in the queued call: if that call is dropped
    // unrun, the future reports a broken promise and we give the fallback.
    auto promise = std::make_shared<std::promise<MessageAnswer>>();
    std::future<MessageAnswer> answer = promise->get_future();
    bool queued = OnUi([state, request, fallback, promise = std::move(promise)] {
        MessageAnswer result = fallback;
        if (!state->closed && state->window)
            result = ActivePresenter().Present(state->window, request);
        promise->set_value(result);
    });
    if (!queued)
        return fallback;
    while (answer.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        if (state->closed)
            return fallback;
    }
    try {
        return answer.get();
    } catch (const std::future_error&) {
        return fallback;
    }
}

void QtWindowPort::SetTimer(uint32_t id, uint32_t periodMs) {
    std::shared_ptr<State> state = state_;
    OnUi([state, id, periodMs] {
        if (state->closed)
            return;
        QTimer*& timer = state->timers[id];
        if (!timer) {
            timer = new QTimer;
            // Coarse timers may fire 5% early; the discovery's 5 s and 10 s marks must hold.
            timer->setTimerType(Qt::PreciseTimer);
            State* raw = state.get();  // the timer dies before the state
            QObject::connect(timer, &QTimer::timeout, [raw, id] {
                if (!raw->closed && raw->onTimer)
                    raw->onTimer(id);
            });
        }
        timer->start(static_cast<int>(periodMs));
    });
}

void QtWindowPort::KillTimer(uint32_t id) {
    std::shared_ptr<State> state = state_;
    OnUi([state, id] {
        auto found = state->timers.find(id);
        if (found != state->timers.end())
            found->second->stop();
    });
}

void QtWindowPort::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::shared_ptr<State> state = state_;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    // Always queued, also from the UI thread: a posted message runs after
    // the handler that posted it.
    QMetaObject::invokeMethod(
        app,
        [state, message, wParam, lParam] {
            if (!state->closed && state->onMessage)
                state->onMessage(message, wParam, lParam);
        },
        Qt::QueuedConnection);
}

void QtProgressPort::Run(std::function<void(QProgressBar&)> action) {
    std::shared_ptr<QPointer<QProgressBar>> bar = bar_;
    OnUi([bar, action = std::move(action)] {
        if (QProgressBar* target = *bar)
            action(*target);
    });
}

void QtProgressPort::SetRange(int32_t lower, int32_t upper) {
    Run([lower, upper](QProgressBar& bar) { bar.setRange(lower, upper); });
}

void QtProgressPort::SetPosition(int32_t position) {
    Run([position](QProgressBar& bar) { bar.setValue(position); });
}

void QtProgressPort::Advance(int32_t by) {
    Run([by](QProgressBar& bar) { bar.setValue(std::min(bar.value() + by, bar.maximum())); });
}

}  // namespace vcq::ui
