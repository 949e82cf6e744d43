#include "wizard/batch_upgrade_page.h"

#include <QApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <ctime>

#include "package/resources.h"
#include "protocol/camera_replies.h"
#include "protocol/config_backup.h"
#include "upgrade/batch_outcome.h"
#include "upgrade/job_values.h"
#include "upgrade/manual_flow.h"
#include "upgrade/retry_plan.h"
#include "wizard/lists/camera_list_view.h"
#include "wizard/lists/login_dialogs.h"
#include "wizard/ui_text.h"
#include "wizard/upgrade_log_dialog.h"

namespace vcq::ui {
namespace {

constexpr int kTextProceed = 209;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// The login "Access setting..." gives the cameras to retry.
bool AskLogin(QWidget* parent, const std::string& cameras, std::string& user,
              std::string& password) {
    QDialog dialog(parent);
    dialog.setWindowTitle("Access setting");
    auto* forWhom = new QLabel("For " + Text(cameras), &dialog);
    forWhom->setWordWrap(true);
    forWhom->setTextFormat(Qt::PlainText);
    auto* name = new QLineEdit(Text(user), &dialog);
    auto* secret = new QLineEdit(&dialog);
    secret->setEchoMode(QLineEdit::Password);
    for (QLineEdit* edit : {name, secret})
        edit->setMaxLength(kLoginMaxLength);
    name->setAccessibleName("Name");
    secret->setAccessibleName("Password");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(forWhom);
    form->addRow("&Name:", name);
    form->addRow("&Password:", secret);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    user = name->text().toStdString();
    password = secret->text().toStdString();
    return true;
}

}  // namespace

BatchUpgradePage::BatchUpgradePage(const ModelList* models, std::string targetVersion,
                                   std::shared_ptr<PackageWorkspace> workspace,
                                   std::function<void(int)> setButtonMode, QWidget* parent)
    : QWidget(parent), setButtonMode_(std::move(setButtonMode)), hold_(new SessionHold(this)) {
    // Every batch so far is offered, the latest shown.
    showLog_ = [this](QWidget* parent, const std::string& log) {
        UpgradeLogDialog dialog(log, parent);
        if (logs_.empty())
            dialog.SetFileNote(QString::fromStdString(logPath_), QString::fromStdString(logError_));
        else
            dialog.SetBatches(logs_, static_cast<int>(logs_.size()) - 1);
        dialog.exec();
    };
    askLogin_ = AskLogin;
    port_ = std::make_shared<QtWindowPort>(this, nullptr, nullptr);
    auto resources = std::make_shared<BatchResources>();
    resources->models = *models;
    resources->targetVersion = std::move(targetVersion);
    resources->window = port_;
    resources->workspace = std::move(workspace);
    // The folder goes with the workspace's last holder (the main window's rule).
    resources->removeWorkspace = false;
    run_ = std::make_unique<UpgradeSession>(std::move(resources));
    run_->SetListener(this);

    auto* title = new QLabel("&Target camera(s):", this);
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    list_ = new BatchUpgradeList(run_->Engine(), frame);
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
    // A stop-loss: once this many cameras failed no further one starts.
    maxFailures_ = new QSpinBox(setup);
    maxFailures_->setRange(0, static_cast<int>(kBatchMaxRows));
    maxFailures_->setSpecialValueText("never");
    maxFailures_->setAccessibleName("Stop after this many failed cameras");
    // Its editor takes the focus: named too.
    if (auto* edit = maxFailures_->findChild<QLineEdit*>())
        edit->setAccessibleName(maxFailures_->accessibleName());
    auto* maxFailuresLabel = new QLabel("Stop after fa&iled cameras:", setup);
    maxFailuresLabel->setBuddy(maxFailures_);
    auto* maxFailuresRow = new QHBoxLayout;
    maxFailuresRow->addWidget(maxFailuresLabel);
    maxFailuresRow->addWidget(maxFailures_);
    maxFailuresRow->addStretch();
    auto* setupLayout = new QVBoxLayout(setup);
    setupLayout->addWidget(retain_);
    setupLayout->addWidget(backup_);
    setupLayout->addLayout(maxFailuresRow);

    counterLabel_ = new QLabel("Proceeded:", this);
    counterLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    counter_ = new QLabel(this);
    counter_->setAccessibleName("Proceeded");
    counter_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    counter_->setMinimumWidth(counter_->fontMetrics().horizontalAdvance("256/256"));
    counterLabel_->setBuddy(counter_);
    // Read-only figures beside the counter, reached with Tab like it.
    auto figure = [this](const QString& caption, const QString& name, QLabel*& value) {
        auto* label = new QLabel(caption, this);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value = new QLabel(this);
        value->setAccessibleName(name);
        value->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
        value->setFocusPolicy(Qt::StrongFocus);
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance("0:00:00"));
        label->setBuddy(value);
        return label;
    };
    elapsedLabel_ = figure("Elapsed:", "Elapsed time", elapsed_);
    leftLabel_ = figure("Time left:", "Estimated time left", left_);

    showLogButton_ = new QPushButton("Show &log...", this);
    showLogButton_->setAccessibleName("Show the upgrade log");
    showLogButton_->setAutoDefault(false);
    retryButton_ = new QPushButton("Retr&y failed", this);
    retryButton_->setAccessibleName("Retry the cameras that did not complete");
    retryButton_->setAutoDefault(false);
    accessButton_ = new QPushButton("A&ccess setting...", this);
    accessButton_->setAccessibleName("Access setting for the cameras to retry");
    accessButton_->setAutoDefault(false);
    connect(showLogButton_, &QPushButton::clicked, this, &BatchUpgradePage::ShowLog);
    connect(retryButton_, &QPushButton::clicked, this, &BatchUpgradePage::RetryFailed);
    connect(accessButton_, &QPushButton::clicked, this, &BatchUpgradePage::MendLogins);

    // The batch's end in one line, where the operator looks once it ends.
    summary_ = new QLabel(this);
    summary_->setAccessibleName("Summary");
    summary_->setWordWrap(true);
    summary_->setTextFormat(Qt::PlainText);
    summary_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    summary_->setFocusPolicy(Qt::StrongFocus);
    summary_->hide();

    auto* counterRow = new QHBoxLayout;
    counterRow->addWidget(counterLabel_);
    counterRow->addWidget(counter_);
    counterRow->addWidget(elapsedLabel_);
    counterRow->addWidget(elapsed_);
    counterRow->addWidget(leftLabel_);
    counterRow->addWidget(left_);
    auto* endedRow = new QHBoxLayout;
    endedRow->addStretch();
    endedRow->addWidget(accessButton_);
    endedRow->addWidget(showLogButton_);
    endedRow->addWidget(retryButton_);
    auto* right = new QVBoxLayout;
    right->addLayout(endedRow);
    right->addStretch();
    right->addLayout(counterRow);
    auto* lower = new QHBoxLayout;
    lower->addWidget(setup);
    lower->addStretch();
    lower->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(frame, 1);
    layout->addWidget(summary_);
    layout->addLayout(lower);
    setTabOrder(list_, summary_);
    setTabOrder(summary_, retain_);
    setTabOrder(retain_, backup_);
    setTabOrder(backup_, maxFailures_);
    setTabOrder(maxFailures_, accessButton_);
    setTabOrder(accessButton_, showLogButton_);
    setTabOrder(showLogButton_, retryButton_);
    setTabOrder(retryButton_, elapsed_);
    setTabOrder(elapsed_, left_);
    SetEndedControls(false);

    engineTimer_.setTimerType(Qt::PreciseTimer);
    connect(&engineTimer_, &QTimer::timeout, this, &BatchUpgradePage::EngineTick);
    counterTimer_.setTimerType(Qt::PreciseTimer);
    connect(&counterTimer_, &QTimer::timeout, this, [this] {
        UpdateClock();
        UpdateCounter();
    });
    confirmTimer_.setSingleShot(true);
    connect(&confirmTimer_, &QTimer::timeout, this, &BatchUpgradePage::Confirm);
    connect(&loginTimer_, &QTimer::timeout, this, &BatchUpgradePage::LoginCheckTick);
    clock_.start();
}

BatchUpgradePage::~BatchUpgradePage() {
    ReleaseRun();
}

void BatchUpgradePage::ReleaseRun() {
    if (!run_)
        return;
    engineTimer_.stop();
    counterTimer_.stop();
    confirmTimer_.stop();
    loginTimer_.stop();
    loginCheck_.Clear();  // their exchanges end on their own
    // The list goes with the page's children, after the run: it must not
    // read the engine on its way out.
    list_->setModel(nullptr);
    // Closed first: a worker waiting for a box gets its answer and can end.
    port_->Close();
    run_->SetListener(nullptr);
    run_.reset();
}

void BatchUpgradePage::PageShown() {
    if (!started_)
        Populate();
}

void BatchUpgradePage::Populate(bool leaveOutResetting) {
    started_ = true;
    confirmTimer_.stop();
    engineTimer_.stop();
    list_->Clear();
    timeline_ = BatchTimeline();
    retried_ = false;
    ForgetEnd();
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
        // The batch starts only after the operator kept such cameras in the
        // question that names them (AskAboutResettingCameras).
        camera.resetAgreed = VersionNeedsResetQuestion(target.version);
        // A camera the list showed newer or up to date, ticked all the same,
        // is flashed on purpose; its check decides from its version now.
        camera.downgradeAgreed = VersionIsNewer(target.version, PackageVersion());
        camera.reflash = PlainVersion(target.version) == PlainVersion(PackageVersion());
        if (!list_->AddCamera(camera))
            break;
    }
    // A batch after an earlier one chooses its settings afresh.
    EnableSettings();
    setButtonMode_(2);
    UpdateClock();
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
    maxFailures_->setEnabled(true);
    RetainClicked();  // the backup box only goes with retained settings
}

void BatchUpgradePage::StartUpgrade() {
    LockSettings();
    confirmTimer_.start(kBatchConfirmMs);
}

void BatchUpgradePage::LockSettings() {
    Engine().SetSharedSettings(retain_->isChecked(), !backup_->isChecked(), std::time(nullptr));
    Engine().SetMaxFailures(static_cast<size_t>(maxFailures_->value()));
    retain_->setEnabled(false);
    backup_->setEnabled(false);
    maxFailures_->setEnabled(false);
}

bool BatchUpgradePage::AskAboutResettingCameras() {
    std::string addresses;
    for (int row = 0; row < list_->Count(); ++row) {
        if (VersionNeedsResetQuestion(list_->Row(row).version))
            addresses += "\r\n" + list_->Row(row).addressText;
    }
    if (addresses.empty())
        return true;
    const std::string caption = LoadUiText(kTextInformationCaption, &Port());
    const std::string text = std::string(kResetQuestionText) + "\r\n" + addresses;
    if (Port().MessageBox(text, caption, MessageIcon::Question, MessageButtons::OkCancel) ==
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
    const std::string caption = LoadUiText(kTextInformationCaption, &Port());
    const std::string text = LoadUiText(kTextProceed, &Port());
    if (Port().MessageBox(text, caption, MessageIcon::Question, MessageButtons::OkCancel) !=
        MessageAnswer::Ok) {
        EnableSettings();
        return;
    }
    setButtonMode_(3);
    RunBatch();
}

// The engine runs the batch from its first tick; the clock starts with it.
void BatchUpgradePage::RunBatch() {
    list_->RestartFollowing();
    timeline_.Begin(Engine(), Now());
    run_->Begin(UpgradeSession::Clock::now());
    engineTimer_.start(static_cast<int>(kBatchTickMs));
    hold_->Begin();
    UpdateClock();
}

void BatchUpgradePage::EngineTick() {
    run_->Pulse(UpgradeSession::Clock::now());
    timeline_.Observe(Engine(), Now());
    list_->Follow(timeline_.FirstInService());
    // The time left appears with the first completed camera, not up to a
    // counter period later; unchanged texts cost nothing.
    UpdateClock();
}

void BatchUpgradePage::RowChanged(size_t row) {
    list_->ShowRow(row);
}

void BatchUpgradePage::Ended() {
    engineTimer_.stop();
    hold_->End();
    timeline_.End(Now());
}

void BatchUpgradePage::UpdateClock() {
    elapsed_->setText(timeline_.Begun() ? Text(DurationText(timeline_.ElapsedSeconds(Now())))
                                        : QString());
    const std::optional<double> left = timeline_.SecondsLeft(Now());
    left_->setText(left ? Text(DurationText(*left)) : QString());
    leftLabel_->setVisible(left.has_value());
    left_->setVisible(left.has_value());
}

void BatchUpgradePage::CancelIfVisible() {
    if (isVisible())
        Engine().RequestCancel();
}

void BatchUpgradePage::UpdateCounter() {
    const std::optional<ProceededUpdate> update = Engine().PollCounter();
    if (!update)
        return;
    ShowCounter(counter_, "Proceeded", QString::fromStdString(update->text));
    if (!update->ended)
        return;
    // With no camera at all the engine never ran.
    engineTimer_.stop();
    timeline_.End(Now());
    UpdateClock();
    // One summary, on the page and at the end of the log; none for no camera.
    lastLog_ = run_->LogText(true);
    const std::string summary = Engine().RowCount() ? SummaryLine(run_->Counts()) : std::string();
    summary_->setText(Text(summary));
    summary_->setAccessibleDescription(Text(summary));
    summary_->setVisible(!summary.empty());
    KeepLog();
    const QString title = QString("Batch %1%2 (%3)")
                              .arg(logs_.size() + 1)
                              .arg(retried_ ? ", retry" : "")
                              .arg(QDateTime::currentDateTime().toString("HH:mm:ss"));
    logs_.push_back({title, lastLog_, Text(logPath_), Text(logError_)});
    setButtonMode_(4);
    SetEndedControls(true);
    // After the handler that ended the batch, so the page shows Finish first.
    QTimer::singleShot(0, this, &BatchUpgradePage::ShowLog);
}

// Beside the batch's backups, with its events: the headless tool's `retry`
// resumes this batch from the log, the events or the folder. A batch with
// no camera never started.
void BatchUpgradePage::KeepLog() {
    logPath_.clear();
    logError_.clear();
    if (Engine().RowCount() == 0)
        return;
    const UpgradeSession::Saved saved = run_->SaveRecords(true);
    logPath_ = saved.logPath;
    logError_ = saved.error;
}

void BatchUpgradePage::ShowLog() {
    ++logsShown_;
    showLog_(this, lastLog_);
}

// A new batch: the last one's log stays offered, its end no longer shown.
void BatchUpgradePage::ForgetEnd() {
    lastLog_.clear();
    logPath_.clear();
    logError_.clear();
    summary_->clear();
    summary_->hide();
    SetEndedControls(false);
}

void BatchUpgradePage::SetEndedControls(bool ended) {
    const bool retry = ended && !Engine().NotCompletedRows().empty() && loginCheck_.Empty();
    showLogButton_->setEnabled(ended);
    retryButton_->setEnabled(retry);
    accessButton_->setEnabled(retry);
}

void BatchUpgradePage::MendLogins() {
    if (EngineRunning() || TestingLogins())
        return;
    const std::vector<size_t> notCompleted = Engine().NotCompletedRows();
    std::vector<size_t> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows()) {
        const auto row = static_cast<size_t>(index.row());
        if (std::find(notCompleted.begin(), notCompleted.end(), row) != notCompleted.end())
            rows.push_back(row);
    }
    if (rows.empty())
        rows = notCompleted;
    if (rows.empty())
        return;
    // The dialog names the cameras the login is for.
    std::string cameras;
    for (size_t row : rows)
        cameras += (cameras.empty() ? "" : ", ") + Engine().Row(row).model + "(" +
                   Engine().Row(row).addressText + ")";
    std::string user = Engine().Camera(rows.front()).user;
    std::string password;
    if (!askLogin_(this, cameras, user, password))
        return;
    // Tried on each camera before a retry uses it: a wrong login would only
    // fail again, and may lock the camera's account.
    const std::string token = EncodeBasicToken(user + ":" + password);
    for (size_t row : rows) {
        const auto index = static_cast<int32_t>(row);
        triedLogins_[index] = {user, password};
        const std::string host = Engine().Row(row).addressText;
        loginCheck_.Add(index, [host, token] {
            JobReply reply;
            reply.text = InquireCamera(host, token, "inq=sysuser");
            reply.answered = !reply.text.empty();
            return reply;
        });
        list_->SetStatusNote(row, "Testing...");
    }
    retryButton_->setEnabled(false);
    accessButton_->setEnabled(false);
    loginTimer_.start(100);
}

void BatchUpgradePage::LoginCheckTick() {
    std::string refused;
    std::string silent;
    auto name = [this](int32_t row) {
        const BatchRow& shown = Engine().Row(static_cast<size_t>(row));
        return shown.model + "(" + shown.addressText + ")";
    };
    for (const VerificationRunner::Outcome& outcome : loginCheck_.Tick()) {
        if (outcome.event == VerificationRunner::Event::Asked)
            continue;
        const auto row = static_cast<size_t>(outcome.index);
        const TriedLogin login = triedLogins_[outcome.index];
        triedLogins_.erase(outcome.index);
        list_->SetStatusNote(row, "");
        if (outcome.event == VerificationRunner::Event::GaveUp) {
            // Not refused: the retry's own check tries it when the camera is back.
            Engine().SetLogin(row, login.user, login.password);
            silent += (silent.empty() ? "" : ", ") + name(outcome.index);
        } else if (outcome.reply.text.find("200 OK") != std::string::npos) {
            Engine().SetLogin(row, login.user, login.password);
        } else {
            refused += (refused.empty() ? "" : ", ") + name(outcome.index);
        }
    }
    if (!loginCheck_.Empty())
        return;
    loginTimer_.stop();
    SetEndedControls(true);
    std::string text;
    if (!refused.empty())
        text += "The login was refused by " + refused + ": its login stays as it was.";
    if (!silent.empty())
        text += std::string(text.empty() ? "" : "\n") + silent +
                " did not answer: the login is kept for the retry, whose check tries it.";
    if (!text.empty())
        Port().MessageBox(text, LoadUiText(kTextInformationCaption, &Port()),
                          refused.empty() ? MessageIcon::Information : MessageIcon::Stop,
                          MessageButtons::Ok);
}

// The cameras that did not complete run again as a batch of their own, with
// the same settings, once the operator confirms as for Upgrade.
void BatchUpgradePage::RetryFailed() {
    if (EngineRunning() || TestingLogins() || Engine().NotCompletedRows().empty())
        return;
    const std::string caption = LoadUiText(kTextInformationCaption, &Port());
    // The question names each camera and what it will get.
    std::string text = LoadUiText(kTextProceed, &Port()) + "\n";
    for (size_t i : Engine().NotCompletedRows()) {
        const BatchRow& row = Engine().Row(i);
        text +=
            "\n" + row.model + "(" + row.addressText + "): " + RetryPlanText(PlanRetry(row.end));
    }
    if (Port().MessageBox(text, caption, MessageIcon::Question, MessageButtons::OkCancel) !=
        MessageAnswer::Ok)
        return;
    if (Engine().RetryNotCompleted(std::time(nullptr)) == 0)
        return;
    list_->ShowChangedRows();
    retried_ = true;
    ForgetEnd();
    setButtonMode_(kButtonModeRetry);
    RunBatch();
    UpdateCounter();
}

}  // namespace vcq::ui
