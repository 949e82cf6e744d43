#include "wizard/message_presenter.h"

#include <QMessageBox>
#include <QString>

#include <memory>

namespace vcq::ui {
QMessageBox* BuildMessageBox(QWidget* parent, const MessageRequest& request) {
    auto* box = new QMessageBox(parent);
    box->setWindowTitle(QString::fromStdString(request.caption));
    // Texts carry CR LF line ends; Qt wants LF.
    box->setText(QString::fromStdString(request.text).replace("\r\n", "\n"));
    switch (request.icon) {
        case MessageIcon::Exclamation:
            box->setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::Stop:
            box->setIcon(QMessageBox::Critical);
            break;
        case MessageIcon::Question:
            box->setIcon(QMessageBox::Question);
            break;
        case MessageIcon::Information:
            box->setIcon(QMessageBox::Information);
            break;
    }
    switch (request.buttons) {
        case MessageButtons::Ok:
            box->setStandardButtons(QMessageBox::Ok);
            break;
        case MessageButtons::OkCancel:
            box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MessageButtons::YesNo:
            box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box->setDefaultButton(QMessageBox::No);  // a Yes is never given by Enter alone
            break;
    }
    return box;
}

namespace {

class BoxPresenter : public MessagePresenter {
  public:
    MessageAnswer Present(QWidget* parent, const MessageRequest& request) override {
        std::unique_ptr<QMessageBox> owned(BuildMessageBox(parent, request));
        QMessageBox& box = *owned;
        switch (box.exec()) {
            case QMessageBox::Ok:
                return MessageAnswer::Ok;
            case QMessageBox::Yes:
                return MessageAnswer::Yes;
            case QMessageBox::No:
                return MessageAnswer::No;
            default:
                return request.buttons == MessageButtons::Ok ? MessageAnswer::Ok
                                                             : DefaultAnswer(request.buttons);
        }
    }
};

BoxPresenter& BoxPresenterInstance() {
    static BoxPresenter presenter;
    return presenter;
}

MessagePresenter* g_presenter = nullptr;

}  // namespace

MessagePresenter& ActivePresenter() {
    return g_presenter ? *g_presenter : BoxPresenterInstance();
}

void SetMessagePresenter(MessagePresenter* presenter) {
    g_presenter = presenter;
}

MessageAnswer DefaultAnswer(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::OkCancel:
            return MessageAnswer::Cancel;
        case MessageButtons::YesNo:
            return MessageAnswer::No;
        case MessageButtons::Ok:
            break;
    }
    return MessageAnswer::Ok;
}

}  // namespace vcq::ui
