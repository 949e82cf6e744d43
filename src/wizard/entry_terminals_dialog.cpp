#include "wizard/entry_terminals_dialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

#include <algorithm>

#include "package/resources.h"
#include "wizard/beep.h"
#include "wizard/image_button.h"
#include "wizard/message_presenter.h"
#include "wizard/port_choice.h"
#include "wizard/ui_text.h"

namespace vcq::ui {
namespace {

using targets::EntryStep;

QAbstractButton* StepButton(const char* caption, QWidget* parent) {
    auto* button = new ImageButton(caption, parent);
    button->setAutoDefault(false);
    return button;
}

MessageAnswer Ask(QWidget* parent, int textId, MessageIcon icon, MessageButtons buttons) {
    MessageRequest request;
    request.text = LoadUiText(textId, nullptr);
    request.caption = LoadUiText(kTextInformationCaption, nullptr);
    request.icon = icon;
    request.buttons = buttons;
    return ActivePresenter().Present(parent, request);
}

}  // namespace

EntryTerminalsDialog::EntryTerminalsDialog(targets::EntryOwner& owner, int total, int position,
                                           QWidget* parent)
    : QDialog(parent), rules_(owner, total, position) {
    setWindowTitle("Entry terminals");
    setModal(true);

    address_ = new AddressEdit(this);
    auto* addressLabel = new QLabel("&IP address:", this);
    addressLabel->setBuddy(address_->Field(0));
    connect(address_, &AddressEdit::OutOfRange, this,
            [this](int field) { Tell(targets::kTextBadAddress, address_->Field(field)); });

    const PortChoice ports = MakePortChoice(this);
    port80_ = ports.port80;
    customPort_ = ports.custom;
    portEdit_ = ports.edit;

    prev_ = StepButton("PREV", this);
    next_ = StepButton("NEXT", this);
    add_ = StepButton("ADD", this);
    del_ = StepButton("DEL", this);
    counter_ = new QLabel(this);
    counter_->setAlignment(Qt::AlignCenter);
    counter_->setMinimumWidth(counter_->fontMetrics().horizontalAdvance("000/000") + 8);
    counter_->setAccessibleName("Entry");
    ok_ = new QPushButton("&OK", this);
    close_ = new QPushButton("&Close", this);
    for (QPushButton* button : {ok_, close_}) {
        button->setAutoDefault(false);
        button->setMinimumWidth(DialogUnitsX(50));
    }

    connect(prev_, &QAbstractButton::clicked, this, &EntryTerminalsDialog::OnPrev);
    connect(next_, &QAbstractButton::clicked, this, &EntryTerminalsDialog::OnNext);
    connect(add_, &QAbstractButton::clicked, this, &EntryTerminalsDialog::OnAdd);
    connect(del_, &QAbstractButton::clicked, this, &EntryTerminalsDialog::OnDel);
    connect(ok_, &QPushButton::clicked, this, &EntryTerminalsDialog::OnOk);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(addressLabel, 0, 0);
    grid->addWidget(address_, 0, 1, 1, 4);
    grid->addWidget(ports.label, 1, 0);
    grid->addWidget(port80_, 1, 1);
    grid->addWidget(customPort_, 1, 2);
    grid->addWidget(portEdit_, 1, 3);
    grid->addWidget(ports.range, 1, 4);
    grid->setColumnStretch(4, 1);

    auto* steps = new QHBoxLayout;
    steps->addWidget(prev_);
    steps->addWidget(next_);
    steps->addWidget(counter_);
    steps->addWidget(add_);
    steps->addWidget(del_);
    steps->addStretch();

    auto* closing = new QHBoxLayout;
    closing->addStretch();
    closing->addWidget(ok_);
    closing->addWidget(close_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(DialogUnitsY(4));
    layout->addLayout(steps);
    layout->addSpacing(DialogUnitsY(4));
    layout->addLayout(closing);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    QWidget* order[] = {address_->Field(0),
                        address_->Field(1),
                        address_->Field(2),
                        address_->Field(3),
                        port80_,
                        customPort_,
                        portEdit_,
                        prev_,
                        next_,
                        add_,
                        del_,
                        ok_,
                        close_};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    Refresh();
}

targets::TypedEntry EntryTerminalsDialog::Typed() const {
    targets::TypedEntry typed;
    typed.addressBlank = address_->IsBlank();
    for (int i = 0; i < 4; ++i)
        typed.ip[i] = address_->Field(i)->text().toInt();
    typed.customPort = customPort_->isChecked();
    typed.portText = portEdit_->text().toStdString();
    return typed;
}

void EntryTerminalsDialog::Tell(int textId, QWidget* focus) {
    Ask(this, textId, MessageIcon::Exclamation, MessageButtons::Ok);
    focus->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(focus))
        edit->selectAll();
}

bool EntryTerminalsDialog::Finish(EntryStep step) {
    switch (step) {
        case EntryStep::RefusedAddress:
            Tell(targets::kTextBadAddress,
                 address_->Field(std::max(0, address_->OutOfRangeField())));
            return false;
        case EntryStep::RefusedPort:
            Tell(targets::kTextBadPort, portEdit_);
            return false;
        case EntryStep::AtLastEntry:
            Beep();
            QApplication::alert(this, 300);
            break;
        case EntryStep::Done:
            break;
    }
    Refresh();
    return true;
}

void EntryTerminalsDialog::Refresh() {
    const targets::EntryButtons buttons = rules_.Buttons();
    prev_->setEnabled(buttons.previous);
    next_->setEnabled(buttons.next);
    add_->setEnabled(buttons.add);
    del_->setEnabled(buttons.remove);
    ShowEntry();
    address_->setFocus();
}

void EntryTerminalsDialog::ShowEntry() {
    const targets::ShownEntry shown = rules_.Shown();
    const auto& ip = shown.address.ip;
    address_->SetText(QString("%1.%2.%3.%4").arg(ip[0]).arg(ip[1]).arg(ip[2]).arg(ip[3]));
    (shown.customPort ? customPort_ : port80_)->setChecked(true);
    portEdit_->setText(QString::number(shown.customPortValue));
    portEdit_->setEnabled(shown.customPort);
    ShowCounter(counter_, "Entry", QString::fromStdString(shown.counter));
}

void EntryTerminalsDialog::OnNext() {
    Finish(rules_.Next(Typed()));
}

void EntryTerminalsDialog::OnPrev() {
    Finish(rules_.Previous(Typed()));
}

void EntryTerminalsDialog::OnAdd() {
    Finish(rules_.Add(Typed()));
}

void EntryTerminalsDialog::OnDel() {
    if (Ask(this, targets::kTextRemoveCamera, MessageIcon::Question, MessageButtons::OkCancel) !=
        MessageAnswer::Ok)
        return;
    rules_.Delete();
    Refresh();
}

void EntryTerminalsDialog::OnOk() {
    const EntryStep step = rules_.Ok(Typed());
    if (step == EntryStep::Done)
        accept();
    else
        Finish(step);
}

void EntryTerminalsDialog::keyPressEvent(QKeyEvent* event) {
    // Enter is NEXT, unless a push button has the focus: then it presses that.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (auto* button = qobject_cast<QAbstractButton*>(focusWidget());
            button && !qobject_cast<QRadioButton*>(button)) {
            button->click();
        } else {
            OnNext();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace vcq::ui
