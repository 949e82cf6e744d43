// The batch upgrade page of automatic mode: the ticked cameras of the target
// camera page in the batch list, the "Setup data" choice, the confirmation a
// moment after Upgrade, the "Proceeded:" counter with the time run and the
// time left, Abort, and the upgrade log once the batch has ended; then the
// log again on request, and a retry of the cameras that did not complete.
// The page owns the batch's run and pulses its driver from a 33 ms timer;
// the list shows it. Letting go of the run never blocks the UI thread.
#pragma once

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "package/resources.h"
#include "package/workspace.h"
#include "targets/verification_runner.h"
#include "upgrade/batch_estimate.h"
#include "upgrade/upgrade_session.h"
#include "wizard/lists/batch_upgrade_list.h"
#include "wizard/qt_window_port.h"
#include "wizard/session_hold.h"
#include "wizard/upgrade_log_dialog.h"

namespace vcq::ui {

class CameraListView;

// The button mode that leaves the ended state for a retry batch (then as 3).
inline constexpr int kButtonModeRetry = 6;
inline constexpr uint32_t kBatchEngineTimer = 0x8012;
inline constexpr uint32_t kBatchCounterTimer = 0x8014;
inline constexpr int kBatchCounterMs = 500;
inline constexpr uint32_t kBatchConfirmTimer = 0x8015;
inline constexpr int kBatchConfirmMs = 100;

class BatchUpgradePage : public QWidget, private UpgradeSession::Listener {
    Q_OBJECT
  public:
    // Every camera gets the supported models and `targetVersion`, and
    // unpacks into `workspace`. `setButtonMode` is the main window's.
    BatchUpgradePage(const ModelList* models, std::string targetVersion,
                     std::shared_ptr<PackageWorkspace> workspace,
                     std::function<void(int mode)> setButtonMode, QWidget* parent = nullptr);
    ~BatchUpgradePage() override;

    // The detected camera list whose ticked rows make the batch.
    void SetDetectedList(const CameraListView* list) { detected_ = list; }
    // The main window brings the page up again: it is populated afresh.
    void ClearStarted() { started_ = false; }
    bool Started() const { return started_; }
    // The main window shows the page; the first time after ClearStarted it
    // lists the ticked cameras and Next reads "&Upgrade".
    void PageShown();
    // Next while it reads "&Upgrade": the confirmation follows shortly.
    void StartUpgrade();
    // Next while it reads "&Abort".
    void CancelIfVisible();
    void RetainClicked();

    // Shows the upgrade log of an ended batch: the log dialog, modal, unless
    // replaced (tests).
    using LogShower = std::function<void(QWidget* parent, const std::string& log)>;
    void SetLogShower(LogShower shower) { showLog_ = std::move(shower); }
    int LogsShown() const { return logsShown_; }
    // Every batch run since the program started, the latest last.
    const std::vector<LoggedBatch>& Logs() const { return logs_; }
    // Asks for the login "Access setting..." gives the chosen rows, named in
    // `cameras`: a dialog unless replaced (tests). False: cancelled.
    using LoginAsker = std::function<bool(QWidget* parent, const std::string& cameras,
                                          std::string& user, std::string& password)>;
    void SetLoginAsker(LoginAsker asker) { askLogin_ = std::move(asker); }
    // Where the ended batch's log was written, or why it was not.
    const std::string& LogPath() const { return logPath_; }
    const std::string& LogError() const { return logError_; }

    BatchUpgradeList* List() const { return list_; }
    BatchEngine& Engine() { return run_->Engine(); }
    // The wizard has ended: the run goes (its threads end on their own),
    // and nothing of the page ticks or reads it any more.
    void ReleaseRun();
    // The 33 ms engine tick runs.
    bool EngineRunning() const { return engineTimer_.isActive(); }
    QCheckBox* RetainBox() const { return retain_; }
    QCheckBox* BackupBox() const { return backup_; }
    QSpinBox* MaxFailuresBox() const { return maxFailures_; }
    QLabel* CounterLabel() const { return counterLabel_; }
    QLabel* Counter() const { return counter_; }
    // The time the batch has run, and once a camera completed, the time left.
    QLabel* Elapsed() const { return elapsed_; }
    QLabel* TimeLeft() const { return left_; }
    QPushButton* ShowLogButton() const { return showLogButton_; }
    QPushButton* RetryButton() const { return retryButton_; }
    QPushButton* AccessButton() const { return accessButton_; }
    // How the ended batch's cameras ended, in one line.
    QLabel* Summary() const { return summary_; }
    // "Access setting...": the selected rows that did not complete, or all
    // of them when none is selected, get the login asked for, once each
    // camera took it ("Testing..." meanwhile).
    void MendLogins();
    // Logins being tried on their cameras.
    bool TestingLogins() const { return !loginCheck_.Empty(); }
    bool ConfirmationPending() const { return confirmTimer_.isActive(); }
    // The jobs' boxes and messages go here.
    QtWindowPort& Port() { return *port_; }

  private:
    // Lists the ticked cameras; with `leaveOutResetting`, not those whose
    // settings the upgrade would reset.
    void Populate(bool leaveOutResetting = false);
    void LockSettings();
    // Asks about the listed cameras whose settings the upgrade would reset;
    // Cancel leaves them out. False when no camera is left.
    bool AskAboutResettingCameras();
    void UpdateCounter();
    void Confirm();
    void RunBatch();
    void EngineTick();
    void UpdateClock();
    void RowChanged(size_t row) override;
    void Ended() override;
    void EnableSettings();
    void ShowLog();
    void SetEndedControls(bool ended);
    void ForgetEnd();
    void RetryFailed();
    void KeepLog();
    void LoginCheckTick();
    double Now() const { return static_cast<double>(clock_.elapsed()) / 1000.0; }

    std::function<void(int)> setButtonMode_;
    std::shared_ptr<QtWindowPort> port_;
    std::unique_ptr<UpgradeSession> run_;
    SessionHold* hold_;  // while the batch runs
    const CameraListView* detected_ = nullptr;
    BatchUpgradeList* list_;
    QCheckBox* retain_;
    QCheckBox* backup_;
    QSpinBox* maxFailures_;  // 0: never stop early
    QLabel* counterLabel_;
    QLabel* counter_;
    QLabel* elapsedLabel_;
    QLabel* elapsed_;
    QLabel* leftLabel_;
    QLabel* left_;
    QPushButton* showLogButton_;
    QPushButton* retryButton_;
    QPushButton* accessButton_;
    QLabel* summary_;
    std::vector<LoggedBatch> logs_;
    LoginAsker askLogin_;
    // The logins Access setting tries, by row, until their cameras answer.
    struct TriedLogin {
        std::string user;
        std::string password;
    };
    std::map<int32_t, TriedLogin> triedLogins_;
    VerificationRunner loginCheck_;
    QTimer loginTimer_;
    QTimer engineTimer_;
    QTimer counterTimer_;
    QTimer confirmTimer_;
    QElapsedTimer clock_;
    BatchTimeline timeline_;
    std::string lastLog_;
    std::string logPath_;
    std::string logError_;
    LogShower showLog_;
    bool started_ = false;
    bool retried_ = false;  // the running batch is a retry
    int logsShown_ = 0;
};

}  // namespace vcq::ui
