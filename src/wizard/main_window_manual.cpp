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
    const std::string current = session_ ? session_->CurrentVersion() : std::string();
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
    if (!session_) {
        FailBackToTarget(Text(kTextVersionUpError).c_str());
        return;
    }
    if (!targetPage_->Retain()) {
        BeginUpgrade();
        return;
    }
    lastShownStep_ = step::kSavingConfig;
    progressPage_->ShowStep(step::kSavingConfig);
    RunOffUiThread(session_->SaveTask(targetPage_->Backup()), [this](bool saved) {
        if (saved) {
            BeginUpgrade();
            return;
        }
        Box(kCannotSave, Text(kTextInformationCaption), MessageIcon::Stop, MessageButtons::Ok);
        pageIndex_ = 3;
        ShowPage();
    });
}

void MainWindow::BeginUpgrade() {
    if (!session_ || !session_->Start()) {
        FailBackToTarget(Text(kTextVersionUpError).c_str());
        return;
    }
    // The page's own clock: the bar moves on and the step shows while the job runs.
    port_->SetTimer(kUpgradeTimerBase, kTickPeriodMs);
    manualHold_->Begin();
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
    // The port outlives the window while the work runs: once closed, it
    // answers harmlessly.
    DetachedWork<bool>::Start(std::move(work), [port = port_, serial](bool passed) {
        port->PostMessage(kMsgCheckEnded, passed ? 1 : 0, serial);
    });
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
    RunOffUiThread(session_->CheckTask(), [this](bool passed) { AfterTargetCheck(passed); });
}

// The job is built from the login as it stands now: a changed login makes a
// new job, never a changed one.
void MainWindow::NewManualJob() {
    DiscardUpgrade();
    auto resources = std::make_shared<BatchResources>();
    resources->models = workspace_->models;
    // The target is the package's version; the label may carry a build mark.
    resources->targetVersion = "ver" + PackageVersion();
    resources->window = port_;
    resources->workspace = workspace_;
    resources->removeWorkspace = false;  // the folder goes with the workspace's last holder
    session_ = std::make_unique<CameraSession>(std::move(resources), addressText_, authToken_,
                                               options_.limits);
    session_->Job().SetProgressBar(progressPort_);
}

void MainWindow::AfterTargetCheck(bool passed) {
    if (!passed || !session_) {
        Box(kNotSuitable, Text(kTextInformationCaption), MessageIcon::Question, MessageButtons::Ok);
        return;
    }
    lastShownStep_ = step::kNotStarted;
    progressPage_->ShowStep(step::kNotStarted);
    progressPage_->SetSetupData(targetPage_->Retain(), targetPage_->Backup());
    pageIndex_ = 4;
    ShowPage();
}

void MainWindow::DiscardUpgrade() {
    manualHold_->End();
    // What still runs for it ends on its own, holding what it uses.
    session_.reset();
}

void MainWindow::ManualTick() {
    if (!session_)
        return;
    QProgressBar* bar = progressPage_->Bar();
    bar->setValue(std::min(bar->value() + 1, bar->maximum()));
    const int32_t now = session_->Step();
    if (now != lastShownStep_) {
        lastShownStep_ = now;
        progressPage_->ShowStep(now);
    }
    if (now >= step::kCompleted) {
        finalStep_ = now;
        notRestored_ = session_->Saved() && !session_->Outcome().restored;
        DiscardUpgrade();
        GoToPage(1, 6);
    }
}

}  // namespace vcq::ui
