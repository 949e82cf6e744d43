// The main wizard window: the page flow, the Back/Next/Cancel buttons, the
// discovery and upgrade timers, and the order of shut-down.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QStackedWidget>

#include <atomic>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "discovery/camera_record.h"
#include "discovery/discovery_probe.h"
#include "discovery/discovery_session.h"
#include "package/workspace.h"
#include "platform/detached_work.h"
#include "protocol/config_backup.h"
#include "upgrade/camera_session.h"
#include "wizard/batch_upgrade_page.h"
#include "wizard/intro_pages.h"
#include "wizard/manual_pages.h"
#include "wizard/qt_window_port.h"
#include "wizard/session_hold.h"
#include "wizard/target_camera_page.h"

namespace vcq::ui {

struct WizardOptions {
    // A development build broadcasts only inside the private test network
    // (VCQ_ISOLATED=1) or when the operator allowed it on the command line.
    bool allowBroadcast = false;
    bool discovery = true;
    DiscoveryOptions discoveryOptions;
    // Where the workspace folder goes; empty is the system's temporary folder.
    std::string tempFolder;
    // Bounds of the camera exchanges (tests shorten them).
    ExchangeLimits limits;
};

// The key that, released on a focused Next button on the title page, turns
// on the relaxed-address mode.
inline constexpr int kRelaxedModeKey = Qt::Key_T;
inline constexpr const char* kRelaxedModeText =
    "I become 'Tarvik' mode.\nThis mode would be released from using IP address strictly.";

class MainWindow : public QDialog {
    Q_OBJECT
  public:
    explicit MainWindow(WizardOptions options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    void SetButtonMode(int mode);
    void ShowPage();
    void NextStep();
    void BackStep();
    // True when the wizard ended.
    bool CancelStep();
    void GoToPage(uintptr_t wParam, intptr_t lParam);
    void OnTimer(uint32_t id);
    void RelaxedModeCommand();

    WindowPort& Port() { return *port_; }
    QtWindowPort& QtPort() { return *port_; }
    int PageIndex() const { return pageIndex_; }
    QWidget* CurrentPage() const { return stack_->currentWidget(); }
    QPushButton* NextButton() const { return next_; }
    QPushButton* BackButton() const { return back_; }
    QPushButton* CancelButton() const { return cancel_; }
    TitlePage* Title() const { return titlePage_; }
    AgreementPage* Agreement() const { return agreementPage_; }
    ModePage* Mode() const { return modePage_; }
    TargetEntryPage* Target() const { return targetPage_; }
    UpgradeProgressPage* Progress() const { return progressPage_; }
    UpgradeResultPage* Result() const { return resultPage_; }
    TargetCameraPage* AutoTarget() const { return autoTargetPage_; }
    BatchUpgradePage* Batch() const { return batchPage_; }
    QWidget* PageAt(int index) const;
    DiscoveryTable& Table() { return table_; }
    DiscoverySession* Discovery() const { return discovery_.get(); }
    // The manual upgrade's session of one camera, while there is one.
    const CameraSession* ManualSession() const { return session_.get(); }
    const std::shared_ptr<PackageWorkspace>& Workspace() const { return workspace_; }
    bool RelaxedMode() const { return relaxedMode_ != 0; }
    bool ConfirmQuit() const { return confirmQuit_ != 0; }
    bool CloseEnabled() const { return closeEnabled_; }
    // A camera check or configuration save runs on its worker.
    bool Checking() const { return static_cast<bool>(checkDone_); }
    bool Ended() const { return ended_; }
    int32_t FinalStep() const { return finalStep_; }
    std::string VersionLabel() const { return versionLabel_; }
    std::string AddressText() const { return addressText_; }

  public slots:
    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void StartDiscovery();
    void ManualTick();
    void NewManualJob();
    void DiscardUpgrade();
    void ShowVersionPage();
    void StartManualUpgrade();
    void FailBackToTarget(const char* text);
    void ResetButtonsForTarget();
    void SetCloseEnabled(bool enabled);
    void FocusFirstControl(QWidget* page);
    // Runs `work` on a worker with the wait cursor and the buttons off, so
    // the window keeps painting; `done` gets the result on the UI thread
    // once the buttons are back, unless the wizard ended first.
    void RunOffUiThread(std::function<bool()> work, std::function<void(bool)> done);
    void CheckEnded(bool passed, uint32_t serial);
    void FinishCheck();
    void CheckTargetCamera();
    void AfterTargetCheck(bool passed);
    void BeginUpgrade();
    void EndWizard();
    void Shutdown();
    std::string Text(int id);
    MessageAnswer Box(const std::string& text, const std::string& caption, MessageIcon icon,
                      MessageButtons buttons);

    WizardOptions options_;
    std::shared_ptr<QtWindowPort> port_;  // held by the manual session too
    QStackedWidget* stack_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* cancel_ = nullptr;

    TitlePage* titlePage_ = nullptr;
    AgreementPage* agreementPage_ = nullptr;
    ModePage* modePage_ = nullptr;
    TargetEntryPage* targetPage_ = nullptr;
    UpgradeProgressPage* progressPage_ = nullptr;
    UpgradeResultPage* resultPage_ = nullptr;
    TargetCameraPage* autoTargetPage_ = nullptr;
    BatchUpgradePage* batchPage_ = nullptr;
    std::shared_ptr<QtProgressPort> progressPort_;

    int pageIndex_ = 0;
    int abortMode_ = 0;
    int finishMode_ = 0;
    int confirmQuit_ = 0;
    int relaxedMode_ = 0;
    bool closeEnabled_ = true;
    bool ended_ = false;
    bool shutDown_ = false;
    SessionHold* manualHold_ = new SessionHold(this);  // while the manual upgrade runs
    bool askingQuit_ = false;

    // The check running off the UI thread: what follows it, the buttons it
    // turned off, its result while the quit question is open.
    std::function<void(bool)> checkDone_;
    bool checkButtons_[3] = {};
    uint32_t checkSerial_ = 0;
    std::optional<bool> checkResult_;

    DiscoveryTable table_;
    std::unique_ptr<DiscoverySession> discovery_;
    std::shared_ptr<PackageWorkspace> workspace_;
    std::string versionLabel_;
    std::string addressText_;
    std::string authToken_;
    std::unique_ptr<CameraSession> session_;
    bool notRestored_ = false;  // the manual upgrade's configuration did not go back
    int32_t finalStep_ = 0;
    int32_t lastShownStep_ = 0;
};

// Whether broadcast discovery may run: always in a release build; in a
// development build inside the private test network, or when allowed
// explicitly.
bool BroadcastAllowed(bool allowedByFlag);

}  // namespace vcq::ui
