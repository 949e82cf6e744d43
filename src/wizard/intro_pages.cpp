#include "wizard/intro_pages.h"

#include <QButtonGroup>
#include <QVBoxLayout>

#include "wizard/ui_text.h"

namespace vcq::ui {

TitlePage::TitlePage(const QString& modelName, const QString& versionLabel, WindowPort* owner,
                     const std::function<void(const QString&)>& setCaption, QWidget* parent)
    : QWidget(parent) {
    heading_ = modelName + " " + versionLabel + " Firmware Upgrade";
    setCaption("Tezo " + heading_);

    headingEdit_ = new QLineEdit(heading_, this);
    headingEdit_->setReadOnly(true);
    headingEdit_->setAlignment(Qt::AlignCenter);
    headingEdit_->setFocusPolicy(Qt::NoFocus);
    headingEdit_->setAccessibleName(heading_);
    QFont big = headingEdit_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    headingEdit_->setFont(big);

    precautionsEdit_ = new QPlainTextEdit(UiText(134, owner), this);
    precautionsEdit_->setReadOnly(true);
    // Reachable by Tab so that the keyboard can scroll it; Tab leaves it again.
    precautionsEdit_->setTabChangesFocus(true);
    precautionsEdit_->setAccessibleName("Precautions");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(headingEdit_);
    layout->addWidget(precautionsEdit_, 1);
}

AgreementPage::AgreementPage(QPushButton* nextButton, WindowPort* owner, QWidget* parent)
    : QWidget(parent), nextButton_(nextButton) {
    QString text;
    for (int id : {140, 149, 150, 151, 152, 153, 154, 155, 156, 157, 158})
        text += UiText(id, owner);
    auto* agreement = new QPlainTextEdit(text, this);
    agreement->setReadOnly(true);
    agreement->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    agreement->setTabChangesFocus(true);
    agreement->setAccessibleName("Licence agreement");

    notAgree_ = new QRadioButton(UiText(171, owner), this);
    agree_ = new QRadioButton(UiText(170, owner), this);
    auto* group = new QButtonGroup(this);
    group->addButton(notAgree_);
    group->addButton(agree_);
    notAgree_->setChecked(true);
    connect(notAgree_, &QRadioButton::clicked, this, [this] { nextButton_->setEnabled(false); });
    connect(agree_, &QRadioButton::clicked, this, [this] { nextButton_->setEnabled(true); });

    auto* choices = new QHBoxLayout;
    choices->addStretch();
    choices->addWidget(agree_);
    choices->addSpacing(DialogUnitsX(20));
    choices->addWidget(notAgree_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(agreement, 1);
    layout->addLayout(choices);
}

int AgreementPage::IsAgreed() {
    choice_ = agree_->isChecked() ? 1 : 0;
    (choice_ == 1 ? agree_ : notAgree_)->setFocus();
    return choice_;
}

ModePage::ModePage(WindowPort* owner, QWidget* parent) : QWidget(parent), owner_(owner) {
    auto* explanation = new QLabel(UiText(168, owner), this);
    explanation->setWordWrap(true);
    explanation->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    group_ = new QGroupBox("&Select a mode", this);
    automatic_ = new QRadioButton(group_);
    manual_ = new QRadioButton(group_);
    automatic_->setChecked(true);
    auto* groupLayout = new QVBoxLayout(group_);
    groupLayout->addWidget(automatic_);
    groupLayout->addWidget(manual_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group_);
    layout->addSpacing(DialogUnitsY(6));
    layout->addWidget(explanation, 1);
    Refresh();
}

void ModePage::Refresh() {
    IsManual();
    group_->setTitle(UiText(178, owner_));
    // The stored texts carry no mnemonics; Alt+A and Alt+M choose.
    automatic_->setText("&" + UiText(179, owner_));
    manual_->setText("&" + UiText(180, owner_));
    (mode_ == 0 ? automatic_ : manual_)->setFocus();
}

int ModePage::IsManual() {
    mode_ = manual_->isChecked() ? 1 : 0;
    return mode_;
}

}  // namespace vcq::ui
