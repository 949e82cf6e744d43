// The two login dialogs of the target camera page. "Single login" walks the
// cameras one at a time with PREV and NEXT; "Batch login" gives every
// selected camera one login. Both read and write the list's rows directly.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include "wizard/address_edit.h"
#include "wizard/image_button.h"
#include "wizard/lists/camera_list_view.h"

namespace vcq::ui {

inline constexpr int kLoginMaxLength = 16;

class SingleLoginDialog : public QDialog {
    Q_OBJECT
  public:
    SingleLoginDialog(CameraListView* list, QWidget* parent = nullptr);

    void Prev();
    void Next();
    void Ok();

    AddressEdit* Address() const { return address_; }
    QLineEdit* NameEdit() const { return name_; }
    QLineEdit* PasswordEdit() const { return password_; }
    ImageButton* PrevButton() const { return prev_; }
    ImageButton* NextButton() const { return next_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CloseButton() const { return close_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    int CurrentRow() const;
    void Store(int row);
    void Load(int row);

    CameraListView* list_;
    AddressEdit* address_;
    QLineEdit* name_;
    QLineEdit* password_;
    ImageButton* prev_;
    ImageButton* next_;
    QPushButton* ok_;
    QPushButton* close_;
};

class BatchLoginDialog : public QDialog {
    Q_OBJECT
  public:
    BatchLoginDialog(CameraListView* list, QWidget* parent = nullptr);

    QLineEdit* NameEdit() const { return name_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

  public slots:
    void accept() override;

  private:
    CameraListView* list_;
    QLineEdit* name_;
    QLineEdit* password_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

}  // namespace vcq::ui
