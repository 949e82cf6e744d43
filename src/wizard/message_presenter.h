// Who shows a message box. The program uses QMessageBox; tests put a scripted
// presenter in place that records every box and answers as told.
#pragma once

#include <string>

#include "platform/window_port.h"

class QMessageBox;
class QWidget;

namespace vcq::ui {

struct MessageRequest {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::Information;
    MessageButtons buttons = MessageButtons::Ok;
};

class MessagePresenter {
  public:
    virtual ~MessagePresenter() = default;
    // Called on the UI thread only; modal.
    virtual MessageAnswer Present(QWidget* parent, const MessageRequest& request) = 0;
};

// The box the program shows for `request`, not yet shown.
QMessageBox* BuildMessageBox(QWidget* parent, const MessageRequest& request);

// The presenter in use; the QMessageBox one unless a test replaced it.
MessagePresenter& ActivePresenter();
// Null puts the QMessageBox presenter back.
void SetMessagePresenter(MessagePresenter* presenter);

// The answer a box gets when nobody can be asked (its window is gone): the
// one that changes nothing.
MessageAnswer DefaultAnswer(MessageButtons buttons);

}  // namespace vcq::ui
