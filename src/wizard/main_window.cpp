#include "wizard/main_window.h"

#include <algorithm>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_WIN
#ifndef NOMINMAX  // Qt's MinGW build defines it already
#define NOMINMAX
#endif
#include <windows.h>
#undef MessageBox  // the Window port's own names
#undef PostMessage
#endif

#include "discovery/broadcast_guard.h"
#include "package/resources.h"
#include "protocol/cgi_client.h"
#include "upgrade/manual_flow.h"
#include "wizard/add_cameras_dialog.h"
#include "wizard/app_icon.h"
#include "wizard/build_info.h"
#include "wizard/main_window_texts.h"
#include "wizard/ui_text.h"

namespace vcq::ui {
namespace {

using namespace main_window;

// Text that is only read (the title's precautions, the licence) can be
// focused to scroll it, but a page's first control is one to act on.
bool IsReadOnlyText(QWidget* widget) {
    if (auto* text = qobject_cast<QPlainTextEdit*>(widget))
        return text->isReadOnly();
    if (auto* line = qobject_cast<QLineEdit*>(widget))
        return line->isReadOnly();
    return false;
}

}  // namespace

bool BroadcastAllowed(bool allowedByFlag) {
    return vcq::BroadcastAllowed(allowedByFlag);
}

MainWindow::MainWindow(WizardOptions options, QWidget* parent)
    : QDialog(parent), options_(std::move(options)) {
    port_ = std::make_shared<QtWindowPort>(
        this, [this](uint32_t id) { OnTimer(id); },
        [this](uint32_t message, uintptr_t wParam, intptr_t lParam) {
            if (message == kMsgGoToPage)
                GoToPage(wParam, lParam);
            else if (message == kMsgCheckEnded)
                CheckEnded(wParam != 0, static_cast<uint32_t>(lParam));
        });
    setWindowIcon(AppIcon());
    // A six-minute upgrade must not hold the desktop: the window can be minimised.
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);

    versionLabel_ = "ver" + PackageVersion() + build::kSpecialBuild;
    setWindowTitle(build::kFileDescription + QString::fromStdString(StandInMark()));

    // The folder goes with the last holder: this window, the manual upgrade
    // or a batch's job still ending.
    workspace_ = std::shared_ptr<PackageWorkspace>(new PackageWorkspace, [](PackageWorkspace* w) {
        w->RemoveAtExit();
        delete w;
    });
    workspace_->tempFolderOverride = options_.tempFolder;
    workspace_->LoadModelList(port_.get());
    workspace_->LoadPackage(port_.get());

    back_ = new QPushButton(UiText(kTextBack, port_.get()), this);
    next_ = new QPushButton(UiText(kTextNext, port_.get()), this);
    cancel_ = new QPushButton(UiText(kTextCancel, port_.get()), this);
    // Enter is routed by keyPressEvent; Next is drawn as the default button.
    for (QPushButton* button : {back_, next_, cancel_}) {
        button->setAutoDefault(false);
        button->setMinimumWidth(DialogUnitsX(50));
    }
    next_->setDefault(true);
    next_->installEventFilter(this);
    connect(back_, &QPushButton::clicked, this, &MainWindow::BackStep);
    connect(next_, &QPushButton::clicked, this, &MainWindow::NextStep);
    connect(cancel_, &QPushButton::clicked, this, &MainWindow::reject);

    stack_ = new QStackedWidget(this);
    stack_->setMinimumSize(DialogUnitsX(355), DialogUnitsY(173));
    const QString model = QString::fromStdString(workspace_->models.Primary());
    titlePage_ = new TitlePage(model, QString::fromStdString(versionLabel_), port_.get(),
                               [this](const QString& caption) {
                                   setWindowTitle(caption + QString::fromStdString(StandInMark()));
                               });
    agreementPage_ = new AgreementPage(next_, port_.get());
    modePage_ = new ModePage(port_.get());
    targetPage_ = new TargetEntryPage(port_.get());
    progressPage_ = new UpgradeProgressPage(port_.get());
    resultPage_ = new UpgradeResultPage(port_.get());
    autoTargetPage_ = new TargetCameraPage(
        &table_, port_.get(), [this](int mode) { SetButtonMode(mode); },
        [this] { return relaxedMode_ != 0; });
    autoTargetPage_->List()->SetExchangeLimits(options_.limits);
    autoTargetPage_->SetAddOtherCameras([this](TargetCameraPage& page) {
        RunAddCamerasDialog(page, workspace_->models, options_.limits);
    });
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
    // Closed first: a worker waiting for a box gets its answer and can end.
    // What still runs for the manual upgrade holds the port, which answers
    // it harmlessly from now on.
    port_->Close();
    Shutdown();
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
    // The ended batch runs again for its failed cameras: Finish gives way to
    // Abort until it ends once more.
    if (mode == kButtonModeRetry && finishMode_) {
        finishMode_ = 0;
        cancel_->setText(UiText(kTextCancel, port_.get()));
        mode = 3;
    }
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
            SetCloseEnabled(false);
            abortMode_ = 1;
            break;
        case 4:
            next_->setEnabled(false);
            cancel_->setText(UiText(kTextFinish, port_.get()));
            cancel_->setEnabled(true);
            SetCloseEnabled(true);
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
    SetCloseEnabled(true);
    confirmQuit_ = 1;
}

void MainWindow::SetCloseEnabled(bool enabled) {
    closeEnabled_ = enabled;
#ifdef Q_OS_WIN
    if (testAttribute(Qt::WA_WState_Created)) {
        if (HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE))
            EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    }
#endif
}

// The first control of the page that takes the keyboard; on a page without
// one, the first button that can be pressed.
void MainWindow::FocusFirstControl(QWidget* page) {
    for (QWidget* widget = page->nextInFocusChain(); widget != page;
         widget = widget->nextInFocusChain()) {
        if (!page->isAncestorOf(widget) || !(widget->focusPolicy() & Qt::TabFocus) ||
            !widget->isEnabled() || !widget->isVisibleTo(page) || IsReadOnlyText(widget))
            continue;
        // A radio group is entered at its chosen button.
        if (auto* button = qobject_cast<QAbstractButton*>(widget); button && button->group()) {
            if (QAbstractButton* chosen = button->group()->checkedButton())
                widget = chosen;
        }
        widget->setFocus(Qt::OtherFocusReason);
        return;
    }
    for (QPushButton* button : {next_, back_, cancel_}) {
        if (button->isEnabled()) {
            button->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

void MainWindow::ShowPage() {
    // A failed upgrade never shows the result page: its box appears over
    // the progress page and the wizard returns to the target page.
    const bool failedUpgrade = pageIndex_ == 6 && finalStep_ != step::kCompleted;
    if (QWidget* page = PageAt(pageIndex_); page && !failedUpgrade) {
        stack_->setCurrentWidget(page);
        FocusFirstControl(page);
    }
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
            SetCloseEnabled(true);
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
                if (notRestored_)
                    Box(kRestoreFailed, Text(kTextInformationCaption), MessageIcon::Stop,
                        MessageButtons::Ok);
                notRestored_ = false;
                resultPage_->SetAddressText(QString::fromStdString(addressText_));
                resultPage_->SetResultVersion(QString::fromStdString(versionLabel_));
                back_->setText(UiText(kTextRetry, port_.get()));
                back_->setEnabled(true);
                next_->setEnabled(false);
                cancel_->setText(UiText(kTextResultFinish, port_.get()));
                cancel_->setEnabled(true);
                SetCloseEnabled(true);
                confirmQuit_ = 0;
                FocusFirstControl(resultPage_);
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
            CheckTargetCamera();
            return;  // the page follows when the check has ended
        }
        case 4: {
            if (Box(Text(kTextProceed), Text(kTextInformationCaption), MessageIcon::Question,
                    MessageButtons::OkCancel) != MessageAnswer::Ok)
                return;
            if (!session_)
                return;
            authToken_ = EncodeBasicToken(targetPage_->GetCredentials());
            NewManualJob();
            progressPage_->SetStatusLine(UiText(kTextInProgress, port_.get()));
            RunOffUiThread(session_->CheckTask(), [this](bool passed) {
                if (!passed) {
                    progressPage_->SetStatusLine(QString());  // nothing is in progress
                    return;
                }
                pageIndex_ = 5;
                ShowPage();
            });
            return;
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
    if (confirmQuit_) {
        askingQuit_ = true;
        const MessageAnswer answer = Box(Text(kTextQuit), Text(kTextInformationCaption),
                                         MessageIcon::Question, MessageButtons::YesNo);
        askingQuit_ = false;
        if (answer != MessageAnswer::Yes) {
            FinishCheck();  // one that ended while the question was open
            return false;
        }
    }
    EndWizard();
    return true;
}

void MainWindow::reject() {
    // Esc and the Close box do nothing while Cancel is unavailable (upgrade
    // running): the camera must not be left half-written. A check only asks,
    // so the operator may leave while it waits for a slow camera.
    if (ended_ || !closeEnabled_ || (!cancel_->isEnabled() && !Checking()))
        return;
    CancelStep();
}

void MainWindow::EndWizard() {
    ended_ = true;
    // Gone from the screen before anything is let go: whatever still ends
    // does so off the UI thread (the batch's run) or within a short bound.
    hide();
    // Closed first: a worker waiting for a box (discovery's "Network NG")
    // gets its answer, so the wait for its thread below cannot hang.
    port_->Close();
    Shutdown();
    QDialog::done(QDialog::Rejected);
}

void MainWindow::Shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    if (checkDone_) {
        checkDone_ = nullptr;  // its worker ends unheard
        QApplication::restoreOverrideCursor();
    }
    DiscardUpgrade();
    // The batch's threads end on their own; the workspace folder goes with
    // its last holder. Before discovery: a failed discovery ends the
    // process once its box is answered.
    if (batchPage_)
        batchPage_->ReleaseRun();
    workspace_.reset();
    if (discovery_) {
        discovery_->Shutdown();
        discovery_.reset();
    }
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
            // The sequence that sent us here has failed and told the operator.
            DiscardUpgrade();
        }
    }
    port_->KillTimer(kUpgradeTimerBase);
    ShowPage();
}

void MainWindow::OnTimer(uint32_t id) {
    if (id == kUpgradeTimerBase) {
        ManualTick();
        return;
    }
    if (discovery_)
        discovery_->OnTimer(id);
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
