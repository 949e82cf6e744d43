#include "wizard/session_hold.h"

#include <QGuiApplication>
#include <QWidget>
#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif

#include "platform/system.h"

namespace vcq::ui {
namespace {

constexpr char kSessionHoldText[] =
    "Cameras are being upgraded: ending now can leave a camera without its firmware or its "
    "settings.";

}  // namespace

SessionHold::SessionHold(QWidget* window) : QObject(window), window_(window) {
#if QT_CONFIG(sessionmanager)
    // Windows ends the session only if every window agrees.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& session) {
        if (Holding())
            session.cancel();
    });
#endif
}

SessionHold::~SessionHold() {
    End();
}

void SessionHold::Begin() {
    if (handle_)
        return;
    sys::KeepSystemAwake(true);
    handle_ = window_->window()->winId();
    sys::HoldSessionEnd(handle_, kSessionHoldText);
}

void SessionHold::End() {
    if (!handle_)
        return;
    sys::KeepSystemAwake(false);
    sys::ReleaseSessionEnd(handle_);
    handle_ = 0;
}

}  // namespace vcq::ui
