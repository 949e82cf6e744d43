// The main window's manual path: the target camera's check and the
// configuration save off the UI thread, the version page's gates, the
// upgrade started on its worker and followed by its one-second tick.
#include <QApplication>

#include <algorithm>

#include "upgrade/manual_flow.h"
#include "wizard/main_window.h"
#include "wizard/main_window_texts.h"
#include "wizard/ui_text.h"

namespace vcq::ui {

using namespace main_window;

void MainWindow::FailBackToTarget(const char* text) {
    const std::string message = text;
    Box(message, Text(kTextInformationCaption), MessageIcon::Stop, MessageButtons::Ok);
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

    const std::string caption = Text(kTextInformationCaption);
    // Older firmware only on the operator's yes; No is the default.
    if (DecideVersionGate(current, PackageVersion()) == VersionGate::Downgrade &&
        Box(DowngradeQuestionText(current, PackageVersion()), caption, MessageIcon::Question,
            MessageButtons::YesNo) != MessageAnswer::Yes) {
        --pageIndex_;
        ShowPage();
        return;
    }
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
    SetCloseEnabled(false);
    progressPage_->SetStatusLine(UiText(kTextInProgress, port_.get()));
    if (!upgrade_) {
        FailBackToTarget(Text(kTextVersionUpError).c_str());
        return;
    }
    if (!targetPage_->Retain()) {
        BeginUpgrade();
        return;
    }
    const std::string model = workspace_->models.Primary();
    backupTime_ = std::time(nullptr);
    backup_.reset();
    lastShownStep_ = step::kSavingConfig;
    progressPage_->ShowStep(step::kSavingConfig);
    backup_ =
        std::make_shared<ConfigBackup>(addressText_, ConfigCameraPath(model), authToken_,
                                       backupTime_, model, serialText_, !targetPage_->Backup());
    std::shared_ptr<ConfigBackup> backup = backup_;
    RunOffUiThread([backup] { return backup->Download(); },
                   [this](bool saved) {
                       if (saved) {
                           BeginUpgrade();
                           return;
                       }
                       backup_.reset();
                       Box(kCannotSave, Text(kTextInformationCaption), MessageIcon::Stop,
                           MessageButtons::Ok);
                       pageIndex_ = 3;
                       ShowPage();
                   });
}

void MainWindow::BeginUpgrade() {
    if (!upgrade_) {
        FailBackToTarget(Text(kTextVersionUpError).c_str());
        return;
    }
    upgrade_->workspace = workspace_;
    upgrade_->SetMainWindow(port_.get());
    if (upgrade_->StartUpgrade(backup_) == 0) {
        FailBackToTarget(Text(kTextVersionUpError).c_str());
        return;
    }
    // The page's own clock: the bar moves on and the step shows while the job runs.
    port_->SetTimer(kUpgradeTimerBase, kTickPeriodMs);
    manualHold_->Begin();
}

std::function<bool()> MainWindow::CheckCamera() {
    // The worker reads only the upgrade object and writes only the serial,
    // which the UI thread reads after the check has ended.
    auto serial = std::make_shared<std::string>();
    checkedSerial_ = serial;
    return [upgrade = upgrade_, serial] {
        bool lowMemory = false;
        return upgrade->CheckPreconditions(lowMemory, serial.get());
    };
}

void MainWindow::TakeCheckedSerial() {
    serialText_ = checkedSerial_ ? *checkedSerial_ : std::string();
    if (upgrade_)
        upgrade_->SetSerial(serialText_);
}

void MainWindow::RunOffUiThread(std::function<bool()> work, std::function<void(bool)> done) {
    checkButtons_[0] = back_->isEnabled();
    checkButtons_[1] = next_->isEnabled();
    checkButtons_[2] = cancel_->isEnabled();
    for (QPushButton* button : {back_, next_, cancel_})
        button->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    checkDone_ = std::move(done);
    checkResult_.reset();
    const uint32_t serial = ++checkSerial_;
    std::erase_if(checks_, [](const DetachedWork<bool>& w) { return !w.Running(); });
    // The port outlives the window while a check runs (see the destructor).
    checks_.push_back(
        DetachedWork<bool>::Start(std::move(work), [port = port_.get(), serial](bool passed) {
            port->PostMessage(kMsgCheckEnded, passed ? 1 : 0, serial);
        }));
}

void MainWindow::CheckEnded(bool passed, uint32_t serial) {
    if (serial != checkSerial_ || !checkDone_)
        return;
    checkResult_ = passed;
    // The quit question is open: the flow goes on once it is answered No.
    if (!askingQuit_)
        FinishCheck();
}

void MainWindow::FinishCheck() {
    if (!checkDone_ || !checkResult_)
        return;
    QApplication::restoreOverrideCursor();
    back_->setEnabled(checkButtons_[0]);
    next_->setEnabled(checkButtons_[1]);
    cancel_->setEnabled(checkButtons_[2]);
    std::function<void(bool)> done = std::move(checkDone_);
    checkDone_ = nullptr;
    done(*checkResult_);
}

void MainWindow::CheckTargetCamera() {
    NewManualJob();
    RunOffUiThread(CheckCamera(), [this](bool passed) { AfterTargetCheck(passed); });
}

// The job is built from the login as it stands now: a changed login makes a
// new job, never a changed one.
void MainWindow::NewManualJob() {
    DiscardUpgrade();
    // The target is the package's version; the label may carry a build mark.
    upgrade_ = std::make_shared<CameraUpgrade>(
        CameraJob(addressText_, authToken_, workspace_->models, "ver" + PackageVersion()),
        port_.get(), 0, false);
    upgrade_->SetExchangeLimits(options_.limits);
    upgrade_->SetProgressBar(progressPort_);
    upgrade_->workspace = workspace_;
    upgrade_->SetMainWindow(port_.get());
}

void MainWindow::AfterTargetCheck(bool passed) {
    if (!passed || !upgrade_) {
        Box(kNotSuitable, Text(kTextInformationCaption), MessageIcon::Question, MessageButtons::Ok);
        return;
    }
    TakeCheckedSerial();
    lastShownStep_ = step::kNotStarted;
    progressPage_->ShowStep(step::kNotStarted);
    progressPage_->SetSetupData(targetPage_->Retain(), targetPage_->Backup());
    pageIndex_ = 4;
    ShowPage();
}

void MainWindow::DiscardUpgrade() {
    manualHold_->End();
    if (!upgrade_)
        return;
    upgrade_->Abandon();
    // Still held elsewhere means its worker runs on: it ends by itself.
    if (!upgrade_->WaitForWorker(std::chrono::milliseconds(0)))
        stillRunning_ = true;
    upgrade_.reset();
}

void MainWindow::ManualTick() {
    if (!upgrade_)
        return;
    std::shared_ptr<CameraUpgrade> upgrade = upgrade_;
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

}  // namespace vcq::ui
