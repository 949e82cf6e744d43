#include "wizard/batch_upgrade_page.h"

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <ctime>

#include "upgrade/manual_flow.h"
#include "wizard/lists/camera_list_view.h"
#include "wizard/ui_text.h"
#include "wizard/upgrade_log_dialog.h"

namespace vcq::ui {
namespace {

constexpr int kTextInformation = 203;
constexpr int kTextProceed = 209;

void ShowLogDialog(QWidget* parent, const std::string& log) {
    UpgradeLogDialog dialog(log, parent);
    dialog.exec();
}

}  // namespace

BatchUpgradePage::BatchUpgradePage(const ModelList* models, std::string targetVersion,
                                   std::shared_ptr<PackageWorkspace> workspace,
                                   std::function<void(int)> setButtonMode, QWidget* parent)
    : QWidget(parent), setButtonMode_(std::move(setButtonMode)), showLog_(ShowLogDialog) {
    port_ = std::make_unique<QtWindowPort>(
        this, [this](uint32_t id) { CameraTimer(id); }, nullptr);

    auto* title = new QLabel("&Target camera(s):", this);
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    list_ = new BatchUpgradeList(
        CameraUpgradeJobs(models, std::move(targetVersion), port_.get(), std::move(workspace)),
        frame);
    list_->setAccessibleName("Target camera(s)");
    title->setBuddy(list_);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(2, 2, 2, 2);
    frameLayout->addWidget(list_);

    auto* setup = new QGroupBox("Setup data", this);
    retain_ = new QCheckBox("&Retain the current settings", setup);
    retain_->setChecked(true);
    backup_ = new QCheckBox("Backup the current &settings", setup);
    connect(retain_, &QCheckBox::clicked, this, &BatchUpgradePage::RetainClicked);
    auto* setupLayout = new QVBoxLayout(setup);
    setupLayout->addWidget(retain_);
    setupLayout->addWidget(backup_);

    counterLabel_ = new QLabel("Proceeded:", this);
    counterLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    counter_ = new QLabel(this);
    counter_->setAccessibleName("Proceeded");
    counter_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    counter_->setMinimumWidth(counter_->fontMetrics().horizontalAdvance("256/256"));
    counterLabel_->setBuddy(counter_);

    auto* counterRow = new QHBoxLayout;
    counterRow->addWidget(counterLabel_);
    counterRow->addWidget(counter_);
    auto* lower = new QHBoxLayout;
    lower->addWidget(setup);
    lower->addStretch();
    lower->addLayout(counterRow);
    lower->setAlignment(counterRow, Qt::AlignBottom);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(frame, 1);
    layout->addLayout(lower);
    setTabOrder(list_, retain_);
    setTabOrder(retain_, backup_);

    counterTimer_.setTimerType(Qt::PreciseTimer);
    connect(&counterTimer_, &QTimer::timeout, this, &BatchUpgradePage::UpdateCounter);
    confirmTimer_.setSingleShot(true);
    connect(&confirmTimer_, &QTimer::timeout, this, &BatchUpgradePage::Confirm);
}

BatchUpgradePage::~BatchUpgradePage() {
    port_->Close();
    list_->Clear();
    // A job's worker still inside an exchange may yet set its timer here;
    // the closed port answers it harmlessly, so it must outlive the page.
    if (list_->Engine().BusyLeftovers() > 0)
        (void)port_.release();
}

void BatchUpgradePage::PageShown() {
    if (!started_)
        Populate();
}

void BatchUpgradePage::Populate(bool leaveOutResetting) {
    started_ = true;
    confirmTimer_.stop();
    list_->Clear();
    for (int row = 0; detected_ && row < detected_->Count(); ++row) {
        TargetRow target;
        if (!detected_->GetTargetRow(row, target))
            continue;
        if (leaveOutResetting && VersionNeedsResetQuestion(target.version))
            continue;
        BatchCamera camera;
        camera.user = target.name;
        camera.password = target.password;
        camera.ip = target.ip;
        camera.port = target.port;
        camera.dhcp = target.dhcp;
        camera.model = target.model;
        camera.version = target.version;
        camera.serial = target.serial;
        if (!list_->AddCamera(camera))
            break;
    }
    // A batch after an earlier one chooses its settings afresh.
    EnableSettings();
    setButtonMode_(2);
    UpdateCounter();
    if (!counterTimer_.isActive())
        counterTimer_.start(kBatchCounterMs);
}

void BatchUpgradePage::RetainClicked() {
    if (retain_->isChecked()) {
        backup_->setEnabled(true);
    } else {
        backup_->setEnabled(false);
        backup_->setChecked(false);
    }
}

void BatchUpgradePage::EnableSettings() {
    retain_->setEnabled(true);
    RetainClicked();  // the backup box only goes with retained settings
}

void BatchUpgradePage::StartUpgrade() {
    LockSettings();
    confirmTimer_.start(kBatchConfirmMs);
}

void BatchUpgradePage::LockSettings() {
    list_->SetSharedSettings(retain_->isChecked(), !backup_->isChecked(), std::time(nullptr));
    retain_->setEnabled(false);
    backup_->setEnabled(false);
}

bool BatchUpgradePage::AskAboutResettingCameras() {
    std::string addresses;
    for (int row = 0; row < list_->Count(); ++row) {
        if (VersionNeedsResetQuestion(list_->Row(row).version))
            addresses += "\r\n" + list_->Row(row).addressText;
    }
    if (addresses.empty())
        return true;
    const std::string caption = LoadUiText(kTextInformation, port_.get());
    const std::string text = std::string(kResetQuestionText) + "\r\n" + addresses;
    if (port_->MessageBox(text, caption, MessageIcon::Question, MessageButtons::OkCancel) ==
        MessageAnswer::Ok)
        return true;
    Populate(/*leaveOutResetting=*/true);
    if (list_->Count() == 0)
        return false;
    LockSettings();
    return true;
}

void BatchUpgradePage::Confirm() {
    // The operator went back meanwhile: nothing starts.
    if (!isVisible()) {
        EnableSettings();
        return;
    }
    // Another box is open (the quit question): ask once it is answered.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != window()) {
        confirmTimer_.start(kBatchConfirmMs);
        return;
    }
    if (!AskAboutResettingCameras()) {
        EnableSettings();
        return;
    }
    const std::string caption = LoadUiText(kTextInformation, port_.get());
    const std::string text = LoadUiText(kTextProceed, port_.get());
    if (port_->MessageBox(text, caption, MessageIcon::Question, MessageButtons::OkCancel) !=
        MessageAnswer::Ok) {
        EnableSettings();
        return;
    }
    setButtonMode_(3);
    list_->StartEngine();
}

void BatchUpgradePage::CancelIfVisible() {
    if (isVisible())
        list_->RequestCancel();
}

void BatchUpgradePage::CameraTimer(uint32_t id) {
    if (!list_->Engine().OnCameraTimer(id))
        port_->KillTimer(id);
}

void BatchUpgradePage::UpdateCounter() {
    const std::optional<ProceededUpdate> update = list_->Engine().PollCounter();
    if (!update)
        return;
    ShowCounter(counter_, "Proceeded", QString::fromStdString(update->text));
    if (!update->ended)
        return;
    setButtonMode_(4);
    // After the handler that ended the batch, so the page shows Finish first.
    QTimer::singleShot(0, this, &BatchUpgradePage::ShowLog);
}

void BatchUpgradePage::ShowLog() {
    ++logsShown_;
    showLog_(this, list_->LogText());
}

}  // namespace vcq::ui
