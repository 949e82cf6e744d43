#include "wizard/manual_pages.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QVBoxLayout>

#include "package/resources.h"
#include "upgrade/manual_flow.h"
#include "wizard/port_choice.h"
#include "wizard/ui_text.h"

namespace vcq::ui {
namespace {

constexpr int kErrorCaption = 139;

QLabel* ValueLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

void StyleProgressBar(QProgressBar* bar) {
    bar->setRange(0, 10000);
    bar->setTextVisible(false);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Highlight, QColor(10, 36, 106));
    bar->setPalette(palette);
}

TargetEntryPage::TargetEntryPage(WindowPort* owner, QWidget* parent)
    : QWidget(parent), owner_(owner) {
    // Target camera
    auto* target = new QGroupBox("Target camera", this);
    address_ = new AddressEdit(target);
    address_->SetText("192.168.0.100");
    auto* addressLabel = new QLabel("&IP address:", target);
    addressLabel->setBuddy(address_->Field(0));
    connect(address_, &AddressEdit::OutOfRange, this,
            [this](int field) { Refuse(120, address_->Field(field)); });

    const PortChoice ports = MakePortChoice(target);
    port80_ = ports.port80;
    customPort_ = ports.custom;
    portEdit_ = ports.edit;

    auto* targetGrid = new QGridLayout(target);
    targetGrid->addWidget(addressLabel, 0, 0);
    targetGrid->addWidget(address_, 0, 1, 1, 5);
    targetGrid->addWidget(ports.label, 1, 0);
    targetGrid->addWidget(port80_, 1, 1);
    targetGrid->addWidget(customPort_, 1, 2);
    targetGrid->addWidget(portEdit_, 1, 3);
    targetGrid->addWidget(ports.range, 1, 4);
    targetGrid->setColumnStretch(5, 1);

    // Login
    auto* login = new QGroupBox("Login", this);
    name_ = new QLineEdit(login);
    name_->setMaxLength(16);
    password_ = new QLineEdit(login);
    password_->setMaxLength(16);
    password_->setEchoMode(QLineEdit::Password);
    auto* loginForm = new QFormLayout(login);
    loginForm->addRow("&Administrator name:", name_);
    loginForm->addRow("Administrator &password:", password_);

    // Setup data
    auto* setup = new QGroupBox("Setup data", this);
    retain_ = new QCheckBox("&Retain the current settings", setup);
    retain_->setChecked(true);
    backup_ = new QCheckBox("Backup the current &settings", setup);
    connect(retain_, &QCheckBox::clicked, this, [this](bool checked) {
        backup_->setEnabled(checked);
        if (!checked)
            backup_->setChecked(false);
    });
    auto* setupLayout = new QVBoxLayout(setup);
    setupLayout->addWidget(retain_);
    setupLayout->addWidget(backup_);

    auto* lower = new QHBoxLayout;
    lower->addWidget(login, 3);
    lower->addWidget(setup, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(target);
    layout->addLayout(lower);
    layout->addStretch();
}

void TargetEntryPage::Refuse(int textId, QWidget* focus) {
    const std::string text = LoadUiText(textId, owner_);
    const std::string caption = LoadUiText(kTextInformationCaption, owner_);
    owner_->MessageBox(text, caption, MessageIcon::Exclamation, MessageButtons::Ok);
    focus->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(focus))
        edit->selectAll();
}

bool TargetEntryPage::Validate() {
    if (address_->IsBlank()) {
        Refuse(120, address_->Field(0));
        return false;
    }
    if (const int wrong = address_->OutOfRangeField(); wrong >= 0) {
        Refuse(120, address_->Field(wrong));
        return false;
    }
    if (customPort_->isChecked()) {
        bool ok = false;
        long port = portEdit_->text().toLong(&ok);
        if (!ok || port < 1024 || port > 65535) {
            Refuse(310, portEdit_);
            return false;
        }
    }
    if (name_->text().isEmpty()) {
        Refuse(308, name_);
        return false;
    }
    if (password_->text().isEmpty()) {
        Refuse(308, password_);
        return false;
    }
    return true;
}

std::string TargetEntryPage::GetHostText() const {
    std::string host = address_->Text();
    if (customPort_->isChecked())
        host += ":" + std::to_string(portEdit_->text().toLong());
    return host;
}

std::string TargetEntryPage::GetCredentials() const {
    return (name_->text() + ":" + password_->text()).toStdString();
}

bool TargetEntryPage::CheckDuplicateAddress(const std::vector<CameraRecord>& detected) {
    const std::string wanted = address_->Text();
    int matches = 0;
    for (const CameraRecord& record : detected) {
        if (record.free())
            continue;
        std::string dotted = std::to_string(record.ip[0]) + "." + std::to_string(record.ip[1]) +
                             "." + std::to_string(record.ip[2]) + "." +
                             std::to_string(record.ip[3]);
        if (dotted == wanted)
            ++matches;
    }
    if (matches <= 1)
        return true;
    owner_->MessageBox(kDuplicateAddressText, LoadUiText(kErrorCaption, owner_), MessageIcon::Stop,
                       MessageButtons::Ok);
    return false;
}

const char* StepText(int32_t step, WindowPort* owner, std::string& storage) {
    if (step < 0 || step > 8)
        return nullptr;
    int id = ManualStepTextId(step);
    storage = id == 0 ? std::string() : LoadUiText(id, owner);
    return storage.c_str();
}

UpgradeProgressPage::UpgradeProgressPage(WindowPort* owner, QWidget* parent)
    : QWidget(parent), owner_(owner) {
    auto* target = new QGroupBox(UiText(218, owner), this);
    address_ = ValueLabel(target);
    auto* targetForm = new QFormLayout(target);
    targetForm->addRow(UiText(219, owner), address_);

    auto* versions = new QGroupBox(UiText(237, owner), this);
    current_ = ValueLabel(versions);
    next_ = ValueLabel(versions);
    auto* versionForm = new QFormLayout(versions);
    versionForm->addRow(UiText(236, owner), current_);
    versionForm->addRow(UiText(238, owner), next_);

    setupData_ = new QLabel("Auto restoration with delete .cfg files after upgrade", this);
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    QFont bold = status_->font();
    bold.setBold(true);
    status_->setFont(bold);
    step_ = new QLabel(this);
    bar_ = new QProgressBar(this);
    StyleProgressBar(bar_);
    bar_->setAccessibleName("Upgrade progress");
    bar_->setValue(0);

    auto* upper = new QHBoxLayout;
    upper->addWidget(target, 1);
    upper->addWidget(versions, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(upper);
    layout->addWidget(setupData_);
    layout->addStretch();
    layout->addWidget(status_);
    layout->addWidget(step_);
    layout->addWidget(bar_);
}

void UpgradeProgressPage::ShowStep(int32_t step) {
    std::string storage;
    if (const char* text = StepText(step, owner_, storage))
        step_->setText(QString::fromStdString(text));
}

void UpgradeProgressPage::SetSetupData(bool retain, bool backup) {
    if (!retain)
        setupData_->setText("Discard the current settings.");
    else if (backup)
        setupData_->setText("Retain and backup the current settings.");
    else
        setupData_->setText("Retain the current settings.");
}

UpgradeResultPage::UpgradeResultPage(WindowPort* owner, QWidget* parent)
    : QWidget(parent), owner_(owner) {
    auto* target = new QGroupBox(UiText(218, owner), this);
    address_ = ValueLabel(target);
    auto* targetForm = new QFormLayout(target);
    targetForm->addRow(UiText(219, owner), address_);

    result_ = new QLabel(UiText(222, owner), this);
    result_->setWordWrap(true);
    result_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    auto* bar = new QProgressBar(this);
    StyleProgressBar(bar);
    bar->setAccessibleName("Upgrade progress");
    bar->setValue(10000);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(target);
    layout->addWidget(result_, 1);
    layout->addWidget(bar);
}

void UpgradeResultPage::SetResultVersion(const QString& versionTag) {
    result_->setText(UiText(222, owner_) + UiText(234, owner_) + versionTag.mid(3) +
                     UiText(235, owner_));
}

}  // namespace vcq::ui
