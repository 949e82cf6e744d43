// "Entry terminals": types cameras by hand, one address and HTTP port at a
// time, into the list of its owner (the add-other-cameras dialog). The rules
// are targets::EntryTerminals; this is the window around them.
#pragma once

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <string>

#include "targets/entry_terminals.h"
#include "wizard/address_edit.h"

namespace vcq::ui {

class EntryTerminalsDialog : public QDialog {
    Q_OBJECT
  public:
    // `total`: how many entries may exist (256 minus the cameras already
    // detected); `position`: the owner's current entry. Run with exec():
    // Accepted after OK, Rejected after Close.
    EntryTerminalsDialog(targets::EntryOwner& owner, int total, int position,
                         QWidget* parent = nullptr);

    int Position() const { return rules_.Position(); }

    AddressEdit* Address() const { return address_; }
    QRadioButton* Port80Button() const { return port80_; }
    QRadioButton* CustomPortButton() const { return customPort_; }
    QLineEdit* PortEdit() const { return portEdit_; }
    QLabel* Counter() const { return counter_; }
    QAbstractButton* PrevButton() const { return prev_; }
    QAbstractButton* NextButton() const { return next_; }
    QAbstractButton* AddButton() const { return add_; }
    QAbstractButton* DelButton() const { return del_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CloseButton() const { return close_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    targets::TypedEntry Typed() const;
    // After a step: refused steps tell the operator and stop; the others
    // refresh the buttons and the entry shown.
    bool Finish(targets::EntryStep step);
    void Refresh();
    void ShowEntry();
    void Tell(int textId, QWidget* focus);
    void OnNext();
    void OnPrev();
    void OnAdd();
    void OnDel();
    void OnOk();

    targets::EntryTerminals rules_;
    AddressEdit* address_;
    QRadioButton* port80_;
    QRadioButton* customPort_;
    QLineEdit* portEdit_;
    QLabel* counter_;
    QAbstractButton* prev_;
    QAbstractButton* next_;
    QAbstractButton* add_;
    QAbstractButton* del_;
    QPushButton* ok_;
    QPushButton* close_;
};

}  // namespace vcq::ui
