#include "wizard/main_window.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "package/resources.h"
#include "protocol/cgi_client.h"
#include "upgrade/manual_flow.h"
#include "wizard/app_icon.h"
#include "wizard/build_info.h"
#include "wizard/ui_text.h"

namespace vcq::ui {
namespace {

constexpr int kTextNext = 159;
constexpr int kTextBack = 162;
constexpr int kTextCancel = 165;
constexpr int kTextInformation = 203;
constexpr int kTextInProgress = 200;
constexpr int kTextVersionUpError = 206;
constexpr int kTextProceed = 209;
constexpr int kTextQuit = 248;
constexpr int kTextUpgrade = 266;
constexpr int kTextAbort = 267;
constexpr int kTextFinish = 268;
constexpr int kTextResultFinish = 194;
constexpr int kTextRetry = 195;

constexpr const char* kNotSuitable = "This firmware is not suitable for the target camera.";
constexpr const char* kCannotSave = "Cannot save camera's configuration!";
constexpr const char* kRestoreFailed = "Fault to upload configuration!";

class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { Restore(); }
    void Restore() {
        if (active_)
            QApplication::restoreOverrideCursor();
        active_ = false;
    }

  private:
    bool active_ = true;
};

}  // namespace

bool BroadcastAllowed(bool allowedByFlag) {
    const char* isolated = std::getenv("VCQ_ISOLATED");
    return allowedByFlag || (isolated && std::strcmp(isolated, "1") == 0);
}

MainWindow::MainWindow(WizardOptions options, QWidget* parent)
    : QDialog(parent), options_(std::move(options)) {
    port_ = std::make_unique<QtWindowPort>(
        this, [this](uint32_t id) { OnTimer(id); },
        [this](uint32_t message, uintptr_t wParam, intptr_t lParam) {
            if (message == kMsgGoToPage)
                GoToPage(wParam, lParam);
        });
    setWindowIcon(AppIcon());

    versionLabel_ = "ver" + PackageVersion() + build::kSpecialBuild;
    setWindowTitle(build::kFileDescription);

    workspace_ = std::make_shared<PackageWorkspace>();
    workspace_->tempFolderOverride = options_.tempFolder;
    workspace_->LoadModelList(port_.get());
    workspace_->LoadPackage(port_.get());

    back_ = new QPushButton(UiText(kTextBack, port_.get()), this);
    next_ = new QPushButton(UiText(kTextNext, port_.get()), this);
    cancel_ = new QPushButton(UiText(kTextCancel, port_.get()), this);
    // Enter is routed by keyPressEvent, not by default buttons.
    for (QPushButton* button : {back_, next_, cancel_}) {
        button->setAutoDefault(false);
        button->setMinimumWidth(DialogUnitsX(50));
    }
    next_->installEventFilter(this);
    connect(back_, &QPushButton::clicked, this, &MainWindow::BackStep);
    connect(next_, &QPushButton::clicked, this, &MainWindow::NextStep);
    connect(cancel_, &QPushButton::clicked, this, &MainWindow::reject);

    stack_ = new QStackedWidget(this);
    stack_->setMinimumSize(DialogUnitsX(355), DialogUnitsY(173));
    const QString model = QString::fromStdString(workspace_->models.Primary());
    titlePage_ = new TitlePage(model, QString::fromStdString(versionLabel_), port_.get(),
                               [this](const QString& caption) { setWindowTitle(caption); });
    agreementPage_ = new AgreementPage(next_, port_.get());
    modePage_ = new ModePage(port_.get());
    targetPage_ = new TargetEntryPage(port_.get());
    progressPage_ = new UpgradeProgressPage(port_.get());
    resultPage_ = new UpgradeResultPage(port_.get());
    autoTargetPage_ = new TargetCameraPage(
        &table_, port_.get(), [this](int mode) { SetButtonMode(mode); },
        [this] { return relaxedMode_ != 0; });
    autoTargetPage_->List()->SetExchangeLimits(options_.limits);
    batchPage_ = new BatchUpgradePage(&workspace_->models, versionLabel_, workspace_,
                                      [this](int mode) { SetButtonMode(mode); });
    batchPage_->SetDetectedList(autoTargetPage_->List());
    for (QWidget* page :
         std::initializer_list<QWidget*>{titlePage_, agreementPage_, modePage_, targetPage_,
                                         progressPage_, resultPage_, autoTargetPage_, batchPage_})
        stack_->addWidget(page);
    progressPort_ = std::make_shared<QtProgressPort>(progressPage_->Bar());

    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(back_);
    buttons->addWidget(next_);
    buttons->addSpacing(DialogUnitsX(7));
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(stack_, 1);
    layout->addWidget(separator);
    layout->addLayout(buttons);

    StartDiscovery();
    pageIndex_ = 0;
    ShowPage();
}

MainWindow::~MainWindow() {
    Shutdown();
    port_->Close();
    // A worker still inside an exchange may yet call its owner; the port
    // answers it harmlessly, so it must outlive this window.
    if (port_ && stillRunning_)
        (void)port_.release();
}

void MainWindow::StartDiscovery() {
    table_.SetModels(workspace_->models.names);
    if (!options_.discovery)
        return;
    DiscoveryOptions discovery = options_.discoveryOptions;
    if (discovery.destination.address == net::kBroadcastAddress &&
        !BroadcastAllowed(options_.allowBroadcast)) {
        std::fprintf(stderr,
                     "vcq-upgrade: discovery skipped: the broadcast runs only in the isolated "
                     "test network (VCQ_ISOLATED=1) or with --allow-broadcast\n");
        return;
    }
    if (!discovery.window)
        discovery.window = port_.get();
    discovery_ = std::make_unique<DiscoverySession>(*port_, table_, std::move(discovery));
    discovery_->Start();
}

QWidget* MainWindow::PageAt(int index) const {
    static constexpr int kStackIndex[] = {0, 1, 2, 3, 4, 4, 5, 6, 7, 7, 7};
    return index >= 0 && index <= 10 ? stack_->widget(kStackIndex[index]) : nullptr;
}

// A copy: LoadUiText hands out one shared buffer that the next call overwrites.
std::string MainWindow::Text(int id) {
    return LoadUiText(id, port_.get());
}

MessageAnswer MainWindow::Box(const std::string& text, const std::string& caption, MessageIcon icon,
                              MessageButtons buttons) {
    return port_->MessageBox(text, caption, icon, buttons);
}

void MainWindow::SetButtonMode(int mode) {
    if (finishMode_)
        return;
    switch (mode) {
        case 0:
        case 1:
            next_->setText(UiText(kTextNext, port_.get()));
            next_->setEnabled(mode == 1);
            break;
        case 2:
            next_->setText(UiText(kTextUpgrade, port_.get()));
            next_->setEnabled(true);
            break;
        case 3:
            next_->setText(UiText(kTextAbort, port_.get()));
            next_->setEnabled(true);
            back_->setEnabled(false);
            cancel_->setEnabled(false);
            pageIndex_ = 9;
            closeEnabled_ = false;
            abortMode_ = 1;
            break;
        case 4:
            next_->setEnabled(false);
            cancel_->setText(UiText(kTextFinish, port_.get()));
            cancel_->setEnabled(true);
            closeEnabled_ = true;
            finishMode_ = 1;
            confirmQuit_ = 0;
            break;
        case 5:
            next_->setEnabled(false);
            back_->setEnabled(false);
            cancel_->setEnabled(true);
            confirmQuit_ = 0;
            break;
        default:
            break;
    }
}

void MainWindow::ResetButtonsForTarget() {
    next_->setText(UiText(kTextNext, port_.get()));
    back_->setText(UiText(kTextBack, port_.get()));
    cancel_->setText(UiText(kTextCancel, port_.get()));
    for (QPushButton* button : {back_, next_, cancel_})
        button->setEnabled(true);
    closeEnabled_ = true;
    confirmQuit_ = 1;
}

void MainWindow::ShowPage() {
    if (QWidget* page = PageAt(pageIndex_))
        stack_->setCurrentWidget(page);
    switch (pageIndex_) {
        case 0:
            back_->setEnabled(false);
            next_->setEnabled(true);
            confirmQuit_ = 0;
            break;
        case 1:
            back_->setEnabled(true);
            next_->setEnabled(agreementPage_->IsAgreed() == 1);
            confirmQuit_ = 0;
            break;
        case 2:
            modePage_->Refresh();
            // Leaving from here on is asked about, also before the mode was taken.
            confirmQuit_ = 1;
            break;
        case 3:
            next_->setText(UiText(kTextNext, port_.get()));
            for (QPushButton* button : {back_, next_, cancel_})
                button->setEnabled(true);
            closeEnabled_ = true;
            targetPage_->Address()->setFocus();
            break;
        case 4:
            ShowVersionPage();
            break;
        case 5:
            StartManualUpgrade();
            break;
        case 6:
            if (finalStep_ == step::kCompleted) {
                if (backup_ && !backup_->restored)
                    Box(kRestoreFailed, Text(kTextInformation), MessageIcon::Stop,
                        MessageButtons::Ok);
                backup_.reset();
                resultPage_->SetAddressText(QString::fromStdString(addressText_));
                resultPage_->SetResultVersion(QString::fromStdString(versionLabel_));
                back_->setText(UiText(kTextRetry, port_.get()));
                back_->setEnabled(true);
                next_->setEnabled(false);
                cancel_->setText(UiText(kTextResultFinish, port_.get()));
                cancel_->setEnabled(true);
                closeEnabled_ = true;
                confirmQuit_ = 0;
            } else {
                FailBackToTarget(Text(kTextVersionUpError).c_str());
            }
            break;
        case 7:
            autoTargetPage_->PageShown();
            break;
        case 8:
            batchPage_->PageShown();
            break;
        default:
            break;  // 9, 10: the batch runs
    }
}

void MainWindow::FailBackToTarget(const char* text) {
    const std::string message = text;
    Box(message, Text(kTextInformation), MessageIcon::Stop, MessageButtons::Ok);
    GoToPage(1, 3);
}

void MainWindow::ShowVersionPage() {
    progressPage_->SetStatusLine(QString());
    progressPage_->ResetProgress();
    SetButtonMode(2);
    const std::string current = upgrade_ ? upgrade_->currentVersion : std::string();
    progressPage_->SetAddressText(QString::fromStdString(addressText_));
    progressPage_->SetCurrentVersion(QString::fromStdString("ver" + current));
    progressPage_->SetNewVersion(QString::fromStdString(versionLabel_));

    const std::string caption = Text(kTextInformation);
    if (VersionNeedsResetQuestion(current)) {
        if (Box(kResetQuestionText, caption, MessageIcon::Question, MessageButtons::OkCancel) !=
            MessageAnswer::Ok) {
            --pageIndex_;
            ShowPage();
            return;
        }
    }
    if (VersionRefused(current, PackageVersion())) {
        Box(kVersionRefusedText, caption, MessageIcon::Stop, MessageButtons::Ok);
        --pageIndex_;
        ShowPage();
    }
}

void MainWindow::StartManualUpgrade() {
    for (QPushButton* button : {back_, next_, cancel_})
        button->setEnabled(false);
    closeEnabled_ = false;
    progressPage_->SetStatusLine(UiText(kTextInProgress, port_.get()));
    if (!upgrade_) {
        FailBackToTarget(Text(kTextVersionUpError).c_str());
        return;
    }

    if (targetPage_->Retain()) {
        const std::string model = workspace_->models.Primary();
        backupTime_ = std::time(nullptr);
        backup_.reset();
        lastShownStep_ = step::kSavingConfig;
        progressPage_->ShowStep(step::kSavingConfig);
        backup_ =
            std::make_shared<ConfigBackup>(addressText_, ConfigCameraPath(model), authToken_,
                                           backupTime_, model, serialText_, !targetPage_->Backup());
        WaitCursor wait;
        bool saved = backup_->Download();
        wait.Restore();
        if (!saved) {
            backup_.reset();
            Box(kCannotSave, Text(kTextInformation), MessageIcon::Stop, MessageButtons::Ok);
            pageIndex_ = 3;
            ShowPage();
            return;
        }
    }
    upgrade_->workspace = workspace_;
    upgrade_->mainWindow = port_.get();
    if (upgrade_->StartUpgrade(backup_) == 0)
        FailBackToTarget(Text(kTextVersionUpError).c_str());
}

bool MainWindow::CheckCamera() {
    bool lowMemory = false;
    std::string serial;
    if (!upgrade_->CheckPreconditions(lowMemory, &serial))
        return false;
    serialText_ = serial;
    upgrade_->serialText = serial;
    return true;
}

void MainWindow::NextStep() {
    if (!next_->isEnabled())
        return;
    if (abortMode_) {
        next_->setEnabled(false);
        batchPage_->CancelIfVisible();
    }
    if (finishMode_) {
        EndWizard();
        return;
    }
    switch (pageIndex_) {
        case 2:
            if (modePage_->IsManual()) {
                pageIndex_ = 3;
            } else {
                pageIndex_ = 7;
                next_->setEnabled(false);
            }
            confirmQuit_ = 1;
            break;
        case 3: {
            if (relaxedMode_ && !targetPage_->CheckDuplicateAddress(table_.Snapshot())) {
                SetButtonMode(5);
                return;
            }
            if (!targetPage_->Validate())
                return;
            addressText_ = targetPage_->GetHostText();
            authToken_ = EncodeBasicToken(targetPage_->GetCredentials());
            WaitCursor wait;
            DiscardUpgrade();
            upgrade_ = std::make_shared<CameraUpgrade>(addressText_, &workspace_->models,
                                                       authToken_, versionLabel_, "", nullptr,
                                                       nullptr, nullptr, port_.get(), 0, false);
            upgrade_->SetExchangeLimits(options_.limits);
            upgrade_->progressBar = progressPort_;
            upgrade_->workspace = workspace_;
            upgrade_->mainWindow = port_.get();
            upgrade_->step = step::kNotStarted;
            bool passed = CheckCamera();
            wait.Restore();
            if (!passed) {
                Box(kNotSuitable, Text(kTextInformation), MessageIcon::Question,
                    MessageButtons::Ok);
                return;
            }
            lastShownStep_ = step::kNotStarted;
            progressPage_->ShowStep(step::kNotStarted);
            progressPage_->SetSetupData(targetPage_->Retain(), targetPage_->Backup());
            pageIndex_ = 4;
            break;
        }
        case 4: {
            if (Box(Text(kTextProceed), Text(kTextInformation), MessageIcon::Question,
                    MessageButtons::OkCancel) != MessageAnswer::Ok)
                return;
            if (!upgrade_)
                return;
            authToken_ = EncodeBasicToken(targetPage_->GetCredentials());
            upgrade_->authToken = authToken_;
            progressPage_->SetStatusLine(UiText(kTextInProgress, port_.get()));
            WaitCursor wait;
            bool passed = CheckCamera();
            wait.Restore();
            if (!passed) {
                progressPage_->SetStatusLine(QString());  // nothing is in progress
                return;
            }
            pageIndex_ = 5;
            break;
        }
        case 7:
            batchPage_->ClearStarted();
            pageIndex_ = 8;
            break;
        case 8:
            batchPage_->StartUpgrade();
            break;
        default:
            ++pageIndex_;
            break;
    }
    ShowPage();
}

void MainWindow::BackStep() {
    if (!back_->isEnabled())
        return;
    switch (pageIndex_) {
        case 3:
            pageIndex_ = 2;
            break;
        case 6:
            pageIndex_ = 3;
            ResetButtonsForTarget();
            break;
        case 7:
            pageIndex_ = 2;
            next_->setText(UiText(kTextNext, port_.get()));
            next_->setEnabled(true);
            break;
        case 8:
        case 9:
        case 10:
            pageIndex_ = 7;
            next_->setText(UiText(kTextNext, port_.get()));
            back_->setText(UiText(kTextBack, port_.get()));
            cancel_->setText(UiText(kTextCancel, port_.get()));
            finishMode_ = 0;
            abortMode_ = 0;
            break;
        default:
            --pageIndex_;
            break;
    }
    ShowPage();
}

bool MainWindow::CancelStep() {
    if (ended_)
        return true;
    if (confirmQuit_ && Box(Text(kTextQuit), Text(kTextInformation), MessageIcon::Question,
                            MessageButtons::YesNo) != MessageAnswer::Yes)
        return false;
    EndWizard();
    return true;
}

void MainWindow::reject() {
    // Esc and the Close box do nothing while Cancel is unavailable (upgrade
    // running): the camera must not be left half-written.
    if (ended_ || !cancel_->isEnabled() || !closeEnabled_)
        return;
    CancelStep();
}

void MainWindow::EndWizard() {
    Shutdown();
    ended_ = true;
    port_->Close();
    QDialog::done(QDialog::Rejected);
}

void MainWindow::Shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    if (discovery_) {
        discovery_->Shutdown();
        discovery_.reset();
    }
    DiscardUpgrade();
    backup_.reset();
    workspace_->RemoveAtExit();
}

void MainWindow::DiscardUpgrade() {
    if (!upgrade_)
        return;
    upgrade_->Abandon();
    // Still held elsewhere means its worker runs on: it ends by itself.
    if (!upgrade_->WaitForWorker(std::chrono::milliseconds(0)))
        stillRunning_ = true;
    upgrade_.reset();
}

void MainWindow::GoToPage(uintptr_t wParam, intptr_t lParam) {
    if (ended_)
        return;
    if (wParam == 0) {
        pageIndex_ += static_cast<int>(lParam);
    } else {
        pageIndex_ = static_cast<int>(lParam);
        if (pageIndex_ == 3) {
            ResetButtonsForTarget();
            backup_.reset();
            // The sequence that sent us here has failed and told the operator.
            DiscardUpgrade();
        }
    }
    port_->KillTimer(kUpgradeTimerBase);
    ShowPage();
}

void MainWindow::OnTimer(uint32_t id) {
    if (id == kUpgradeTimerBase) {
        ManualTick(id);
        return;
    }
    if (discovery_)
        discovery_->OnTimer(id);
}

void MainWindow::ManualTick(uint32_t id) {
    if (!upgrade_)
        return;
    std::shared_ptr<CameraUpgrade> upgrade = upgrade_;
    upgrade->OnTick(id);
    if (upgrade_ != upgrade)
        return;  // a box inside the tick let the page flow move on
    QProgressBar* bar = progressPage_->Bar();
    bar->setValue(std::min(bar->value() + 1, bar->maximum()));
    const int32_t now = upgrade->step;
    if (now != lastShownStep_) {
        lastShownStep_ = now;
        progressPage_->ShowStep(now);
    }
    if (now >= step::kCompleted) {
        finalStep_ = now;
        DiscardUpgrade();
        GoToPage(1, 6);
    }
}

void MainWindow::RelaxedModeCommand() {
    if (pageIndex_ != 0)
        return;
    Box(kRelaxedModeText, windowTitle().toStdString(), MessageIcon::Information,
        MessageButtons::Ok);
    relaxedMode_ = 1;
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QWidget* focus = focusWidget();
        if (focus == back_)
            BackStep();
        else if (focus == cancel_)
            reject();
        else
            NextStep();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == next_ && event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == kRelaxedModeKey && !key->isAutoRepeat() && next_->hasFocus())
            RelaxedModeCommand();
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace vcq::ui
