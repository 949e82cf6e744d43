#include "platform/window_port.h"

namespace vcq {

const char* ToString(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Exclamation:
            return "exclamation";
        case MessageIcon::Stop:
            return "stop";
        case MessageIcon::Question:
            return "question";
        case MessageIcon::Information:
            return "information";
    }
    return "?";
}

const char* ToString(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::Ok:
            return "ok";
        case MessageButtons::OkCancel:
            return "ok-cancel";
        case MessageButtons::YesNo:
            return "yes-no";
    }
    return "?";
}

const char* ToString(MessageAnswer answer) {
    switch (answer) {
        case MessageAnswer::Ok:
            return "ok";
        case MessageAnswer::Cancel:
            return "cancel";
        case MessageAnswer::Yes:
            return "yes";
        case MessageAnswer::No:
            return "no";
    }
    return "?";
}

}  // namespace vcq
