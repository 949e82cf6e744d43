#include "wizard/lists/login_dialogs.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "wizard/beep.h"

namespace vcq::ui {
namespace {

QLineEdit* LoginEdit(bool password, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(kLoginMaxLength);
    if (password)
        edit->setEchoMode(QLineEdit::Password);
    return edit;
}

// Name and password rows with their labels as buddies.
void AddLoginRows(QFormLayout* form, QLineEdit* name, QLineEdit* password) {
    form->addRow("Administrator &name:", name);
    form->addRow("Administrator &password:", password);
}

QString Dotted(const Ipv4& ip) {
    return QString("%1.%2.%3.%4").arg(ip[0]).arg(ip[1]).arg(ip[2]).arg(ip[3]);
}

}  // namespace

SingleLoginDialog::SingleLoginDialog(CameraListView* list, QWidget* parent)
    : QDialog(parent), list_(list) {
    setWindowTitle("Single login");
    address_ = new AddressEdit(this);
    address_->setEnabled(false);
    name_ = LoginEdit(false, this);
    password_ = LoginEdit(true, this);
    prev_ = new ImageButton("PREV", this);
    next_ = new ImageButton("NEXT", this);
    ok_ = new QPushButton("OK", this);
    close_ = new QPushButton("&Close", this);
    for (QPushButton* button :
         {static_cast<QPushButton*>(prev_), static_cast<QPushButton*>(next_), ok_, close_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    auto* form = new QFormLayout;
    auto* addressLabel = new QLabel("IP address:", this);
    addressLabel->setBuddy(address_);
    address_->setAccessibleName("IP address");
    form->addRow(addressLabel, address_);
    AddLoginRows(form, name_, password_);
    auto* walk = new QHBoxLayout;
    walk->addWidget(prev_);
    walk->addWidget(next_);
    walk->addStretch();
    walk->addWidget(ok_);
    walk->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(walk);

    connect(prev_, &QPushButton::clicked, this, &SingleLoginDialog::Prev);
    connect(next_, &QPushButton::clicked, this, &SingleLoginDialog::Next);
    connect(ok_, &QPushButton::clicked, this, &SingleLoginDialog::Ok);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);

    const int a = CurrentRow();
    Load(a);
    prev_->setEnabled(a > 0);
    next_->setEnabled(a >= 0 && a < list_->Count());
    name_->setFocus();
}

int SingleLoginDialog::CurrentRow() const {
    return list_->FirstSelectedRow();
}

void SingleLoginDialog::Store(int row) {
    if (row >= 0 && row < list_->Count())
        list_->SetLogin(row, name_->text().toStdString(), password_->text().toStdString());
}

void SingleLoginDialog::Load(int row) {
    if (row < 0 || row >= list_->Count())
        return;
    std::string name, password;
    Ipv4 ip{};
    list_->GetLoginAndAddress(row, name, password, ip);
    address_->SetText(Dotted(ip));
    name_->setText(QString::fromStdString(name));
    password_->setText(QString::fromStdString(password));
}

void SingleLoginDialog::Prev() {
    const int a = CurrentRow();
    if (a <= 0)
        return;
    Store(a);
    prev_->setEnabled(a - 1 != 0);
    list_->MoveSelectionUp();
    next_->setEnabled(a - 1 < list_->Count());
    Load(a - 1);
    name_->setFocus();
}

void SingleLoginDialog::Next() {
    const int a = CurrentRow();
    if (a < 0)
        return;
    Store(a);
    int b = a;
    if (a + 1 < list_->Count()) {
        next_->setEnabled(true);
        list_->MoveSelectionDown();
        b = a + 1;
    } else {
        next_->setEnabled(false);
        Beep();
        QApplication::alert(this, 300);
    }
    prev_->setEnabled(b != 0);
    Load(b);
    name_->setFocus();
}

void SingleLoginDialog::Ok() {
    Store(CurrentRow());
    accept();
}

void SingleLoginDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // A focused button takes Enter; elsewhere Enter means NEXT.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            button->click();
        else if (next_->isEnabled())
            Next();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

BatchLoginDialog::BatchLoginDialog(CameraListView* list, QWidget* parent)
    : QDialog(parent), list_(list) {
    setWindowTitle("Batch login");
    name_ = LoginEdit(false, this);
    password_ = LoginEdit(true, this);
    ok_ = new QPushButton("OK", this);
    cancel_ = new QPushButton("Cancel", this);
    ok_->setDefault(true);
    auto* form = new QFormLayout;
    AddLoginRows(form, name_, password_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    connect(ok_, &QPushButton::clicked, this, &BatchLoginDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    // One login shared by all selected rows is shown; mixed logins show
    // empty edits. A lone row shows its own, so OK alone loses nothing.
    const std::vector<int> rows = list_->SelectedRows();
    if (!rows.empty()) {
        std::string name, password;
        list_->GetLogin(rows.front(), name, password);
        bool same = true;
        for (size_t i = 1; i < rows.size() && same; ++i) {
            std::string otherName, otherPassword;
            list_->GetLogin(rows[i], otherName, otherPassword);
            same = otherName == name && otherPassword == password;
        }
        if (same) {
            name_->setText(QString::fromStdString(name));
            password_->setText(QString::fromStdString(password));
        }
    }
    name_->setFocus();
}

void BatchLoginDialog::accept() {
    const std::string name = name_->text().toStdString();
    const std::string password = password_->text().toStdString();
    for (int row : list_->SelectedRows())
        list_->SetLogin(row, name, password);
    QDialog::accept();
}

}  // namespace vcq::ui
