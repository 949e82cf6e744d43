// The batch upgrade page inside the wizard: a batch of stand-in cameras in
// the isolated network run to the upgrade log, a retry after a mended login,
// Abort, no ticked camera, the confirmation, and the "Setup data" boxes.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <cstdio>
#include <filesystem>
#include <regex>

#include "cli/retry_log.h"
#include "command_line.h"
#include "log_text.h"
#include "platform/files.h"
#include "sim_records.h"
#include "simulator.h"
#include "tests/cli/cli_run.h"
#include "wizard/upgrade_log_dialog.h"
#include "wizard_support.h"

using namespace vcq;
using namespace vcq::ui;
using namespace std::chrono_literals;
using vcq::test::ScriptedPresenter;

namespace {

constexpr const char* kProceed = "Proceed to the firmware upgrade?";

std::string Summary(int completed, int failed, int notStarted = 0) {
    return "Summary: " + std::to_string(completed) + " completed, " + std::to_string(failed) +
           " failed, 0 configuration not back, 0 up to date, 0 not upgradable, " +
           std::to_string(notStarted) + " not started\r\n";
}

// The longest time the UI thread went without running a 5 ms timer.
class StallMeter : public QObject {
  public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this,
                [this] { longest_ = std::max(longest_, clock_.restart()); });
        clock_.start();
        timer_.start(5);
    }
    qint64 LongestMs() const { return longest_; }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

// Reads every batch each upgrade log dialog offers, then closes it.
class LogReader : public QObject {
  public:
    LogReader() {
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* dialog = qobject_cast<UpgradeLogDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            std::vector<QString> offered;
            const int count = std::max(1, dialog->BatchChoice()->count());
            for (int i = 0; i < count; ++i) {
                dialog->ShowBatch(i);
                offered.push_back(dialog->Edit()->toPlainText());
            }
            shown.push_back(std::move(offered));
            dialog->CloseButton()->click();
        });
        timer_.start(20);
    }
    std::vector<std::vector<QString>> shown;  // per dialog, per batch offered

  private:
    QTimer timer_;
};

}  // namespace

class BatchPageTest : public QObject {
    Q_OBJECT

    test::WizardHarness h_;
    std::unique_ptr<sim::Simulator> cameras_;
    std::vector<sim::CameraConfig> configs_;

    // Stand-in cameras 127.0.0.2, .3 ..., each shaped by its settings text
    // (as the simulator's --camera takes it).
    void StartCameras(const std::vector<std::string>& settings) {
        sim::SimulatorOptions options;
        options.ftp = true;
        cameras_ = std::make_unique<sim::Simulator>(options);
        configs_.clear();
        for (size_t i = 0; i < settings.size(); ++i) {
            sim::CameraConfig config = sim::DefaultCamera(static_cast<int>(i));
            config.users = {{"admin", "secret"}};
            config.rebootDowntime = 300ms;
            std::string error;
            if (!sim::ApplyCameraSettings(settings[i], config, error))
                qFatal("camera settings: %s", error.c_str());
            configs_.push_back(config);
        }
        std::string error;
        if (!cameras_->AddCameras(configs_, &error))
            qFatal("stand-in cameras: %s", error.c_str());
    }

    // The cameras as discovery would list them, all with the login given,
    // on the batch page.
    void ToBatchPage(MainWindow& w, const std::vector<CameraRecord>& records,
                     const std::function<void(CameraListView*)>& beforeNext = {}) {
        for (const CameraRecord& record : records)
            w.Table().Store(record);
        w.NextButton()->click();
        w.Agreement()->AgreeButton()->click();
        w.NextButton()->click();
        w.Mode()->AutomaticButton()->click();
        w.NextButton()->click();
        QCOMPARE(w.PageIndex(), 7);
        CameraListView* list = w.AutoTarget()->List();
        QCOMPARE(list->Count(), static_cast<int>(records.size()));
        for (int row = 0; row < list->Count(); ++row)
            list->SetLogin(row, "admin", "secret");
        emit list->LoginsChanged();
        if (beforeNext)
            beforeNext(list);
        QVERIFY(w.NextButton()->isEnabled());
        w.NextButton()->click();
        QCOMPARE(w.PageIndex(), 8);
        QCOMPARE(w.NextButton()->text(), QString("&Upgrade"));
    }

    // The stand-in cameras as discovery lists them.
    std::vector<CameraRecord> RecordsOfCameras() const {
        std::vector<CameraRecord> records;
        for (const sim::CameraConfig& config : configs_)
            records.push_back(test::RecordOf(config));
        return records;
    }

    void RequireCameras() {
        if (!test::InsideIsolatedNetwork())
            QSKIP("needs the isolated network of tests/isolated (stand-in cameras on port 80)");
    }

    std::vector<std::string> StatusTexts(BatchUpgradeList* list) {
        std::vector<std::string> texts;
        for (int row = 0; row < list->Count(); ++row)
            texts.push_back(list->Row(row).statusText);
        return texts;
    }

  private slots:
    void initTestCase() { QVERIFY(h_.Start()); }
    void init() { h_.Begin(); }
    void cleanup() {
        h_.End();
        cameras_.reset();
    }

    void sixCamerasTwoFaultyRunToTheLogWhileTheWindowKeepsPainting() {
        RequireCameras();
        // The fourth refuses the versionup, the sixth comes back with its old version.
        // The sixth restarts for longer than the ten seconds of silence that tell a restart.
        StartCameras({"", "port=8080", "", "status=/command/main.cgi:500", "",
                      "after-reboot=old,reboot=11000"});
        MainWindow& w = h_.Open();
        std::vector<CameraRecord> records;
        for (size_t i = 0; i < configs_.size(); ++i)
            records.push_back(test::RecordOf(configs_[i], i == 2));
        ToBatchPage(w, records);
        BatchUpgradePage* page = w.Batch();
        BatchUpgradeList* list = page->List();
        std::vector<std::string> logs;
        page->SetLogShower([&](QWidget*, const std::string& log) {
            logs.push_back(vcq::test::WithoutRunLines(log));
        });

        QCOMPARE(list->Count(), 6);
        QCOMPARE(page->Counter()->text(), QString("0/6"));
        QCOMPARE(page->CounterLabel()->text(), QString("Proceeded:"));
        const BatchRow& second = list->Row(1);
        QCOMPARE(second.idText, std::string("002"));
        QCOMPARE(second.addressText, std::string("127.0.0.3:8080"));
        QCOMPARE(second.version, std::string("1.05"));
        QCOMPARE(StatusTexts(list), std::vector<std::string>(6, "Standby"));

        page->BackupBox()->click();  // keep the saved settings
        h_.boxes->Queue(MessageAnswer::Ok);
        StallMeter stalls;
        QElapsedTimer clock;
        clock.start();
        w.NextButton()->click();
        QVERIFY(!page->RetainBox()->isEnabled());
        QVERIFY(!page->BackupBox()->isEnabled());
        QTRY_VERIFY(h_.boxes->Saw(kProceed));
        QVERIFY(clock.elapsed() >= 90);
        QVERIFY(page->EngineRunning());
        QCOMPARE(w.PageIndex(), 9);
        QCOMPARE(w.NextButton()->text(), QString("&Abort"));
        QVERIFY(!w.BackButton()->isEnabled());
        QVERIFY(!w.CancelButton()->isEnabled());
        QVERIFY(!w.CloseEnabled());

        QTRY_VERIFY_WITH_TIMEOUT(page->LogsShown() == 1, 90000);
        QCOMPARE(logs.size(), size_t(1));
        // Every row names the file it left, the backups being kept.
        static const std::regex kFolder("kept in [^\r\n]*[/\\\\]([^/\\\\\r\n]+\\.cfg)");
        auto kept = [](const char* serial) {
            return std::string("    the saved configuration is kept in <folder>/vcq-r20.") +
                   serial + ".cfg\r\n";
        };
        QCOMPARE(std::regex_replace(logs[0], kFolder, "kept in <folder>/$1"),
                 "VCQ-R20(127.0.0.2) Completed successfully.\r\n" + kept("10000001") +
                     "VCQ-R20(127.0.0.3:8080) Completed successfully.\r\n" + kept("10000002") +
                     "VCQ-R20(DHCP:127.0.0.4) Completed successfully.\r\n" + kept("10000003") +
                     "VCQ-R20(127.0.0.5) Network error (missing target).\r\n"
                     "    the camera answered \"HTTP/1.1 500 Internal Server Error\" to "
                     "System=versionup; the saved configuration is kept in "
                     "<folder>/vcq-r20.10000004.cfg\r\n"
                     "VCQ-R20(127.0.0.6) Completed successfully.\r\n" +
                     kept("10000005") +
                     "VCQ-R20(127.0.0.7) Upgrade sequence error.\r\n"
                     "    the camera came back with 1.05, expected 1.08; the saved configuration "
                     "is kept in <folder>/vcq-r20.10000006.cfg\r\n" +
                     Summary(4, 2));
        QCOMPARE(StatusTexts(list), (std::vector<std::string>{"Completed", "Completed", "Completed",
                                                              "Error1", "Completed", "Error2"}));
        QCOMPARE(list->Row(0).version, std::string("1.08"));
        QCOMPARE(list->Row(5).version, std::string("1.05"));
        for (int row = 0; row < 6; ++row)
            QCOMPARE(list->Row(row).progress, kBatchProgressFull);
        QCOMPARE(page->Counter()->text(), QString("6/6"));
        QCOMPARE(w.CancelButton()->text(), QString("&Finish"));
        QVERIFY(w.CancelButton()->isEnabled());
        QVERIFY(!w.NextButton()->isEnabled());
        QVERIFY(w.CloseEnabled());
        const qint64 longest = stalls.LongestMs();
        std::printf("batch of six: %lld ms, longest UI-thread stall %lld ms\n",
                    static_cast<long long>(clock.elapsed()), static_cast<long long>(longest));
        QVERIFY2(longest < vcq::test::kMaxUiStallMs,
                 qPrintable(QString("UI thread stalled %1 ms").arg(longest)));
        // The boxes were asked once, before the batch; no other box came.
        QCOMPARE(h_.boxes->Texts(), std::vector<std::string>{kProceed});

        // Each completed camera got its own settings back, and its backup stays.
        for (size_t i : {0, 1, 2, 4}) {
            const sim::CameraConfig now = cameras_->Config(i);
            QVERIFY(now.restoredConfiguration.find(now.serial) != std::string::npos);
            QCOMPARE(cameras_->Ftp(i).flashedVersion, std::string("1.08"));
        }
        int backups = 0;
        for (auto& entry :
             std::filesystem::recursive_directory_iterator((h_.temp.path() + "/pf").toStdString()))
            backups += entry.is_regular_file() && entry.path().extension() == ".cfg";
        QVERIFY(backups >= 4);

        QTest::qWait(3 * kBatchCounterMs);
        QCOMPARE(page->LogsShown(), 1);
        w.CancelButton()->click();  // Finish ends without a question
        QVERIFY(w.Ended());
    }

    void retryFailedRerunsOnlyTheFailedCamerasAndKeepsEveryLogBesideTheBackups() {
        RequireCameras();
        // The third refuses the versionup, the fifth comes back with its old version.
        // Uploads of about 1.5 s keep cameras waiting for the line when the
        // first completes: the time left has something to tell then.
        const std::string slow = "ftp-rate=300000";
        StartCameras({slow, slow, slow + ",status=/command/main.cgi:500", slow,
                      slow + ",after-reboot=old,reboot=11000", slow});
        MainWindow& w = h_.Open();
        ToBatchPage(w, RecordsOfCameras());
        BatchUpgradePage* page = w.Batch();
        BatchUpgradeList* list = page->List();
        struct Shown {
            std::string log;
            std::string path;
        };
        std::vector<Shown> shown;
        page->SetLogShower([&](QWidget*, const std::string& log) {
            shown.push_back({vcq::test::WithoutRunLines(log), page->LogPath()});
        });
        QVERIFY(!page->RetryButton()->isEnabled());
        QVERIFY(!page->ShowLogButton()->isEnabled());
        QCOMPARE(page->Elapsed()->text(), QString());
        // Every new control is named and reached with Tab.
        for (QWidget* control : std::initializer_list<QWidget*>{
                 page->RetryButton(), page->ShowLogButton(), page->Elapsed(), page->TimeLeft()}) {
            QVERIFY(!control->accessibleName().isEmpty());
            QVERIFY(control->focusPolicy() & Qt::TabFocus);
        }

        // The time left shows only once a camera has completed, and then
        // while the batch runs.
        bool leftBeforeCompletion = false;
        bool leftAfterCompletion = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            const bool anyCompleted = list->Row(0).end.finalStep == step::kCompleted ||
                                      list->Row(1).end.finalStep == step::kCompleted ||
                                      list->Row(3).end.finalStep == step::kCompleted;
            const bool left = !page->TimeLeft()->isHidden() && !page->TimeLeft()->text().isEmpty();
            (anyCompleted ? leftAfterCompletion : leftBeforeCompletion) |= left;
        });
        watch.start(10);
        page->RetainBox()->click();  // the log is kept even with no backup
        h_.boxes->Queue(MessageAnswer::Ok);
        w.NextButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!page->Elapsed()->text().isEmpty(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(page->LogsShown() == 1, 90000);
        watch.stop();
        QVERIFY(!leftBeforeCompletion);
        QVERIFY(leftAfterCompletion);
        QVERIFY(page->TimeLeft()->isHidden());
        QCOMPARE(StatusTexts(list), (std::vector<std::string>{"Completed", "Completed", "Error1",
                                                              "Completed", "Error2", "Completed"}));
        QVERIFY(page->RetryButton()->isEnabled());
        QVERIFY(page->ShowLogButton()->isEnabled());
        QVERIFY(!w.BackButton()->isEnabled());

        // Made healthy, then Retry failed from the keyboard: only they run
        // again, with the logins they had and the same settings.
        cameras_->Update(2, [](sim::CameraConfig& c) { c.forcedStatus.clear(); });
        cameras_->Update(4,
                         [](sim::CameraConfig& c) { c.afterReboot = sim::AfterReboot::Flashed; });
        h_.boxes->Queue(MessageAnswer::Ok);
        QTest::keyClick(&w, Qt::Key_Y, Qt::AltModifier);
        QTRY_VERIFY(page->EngineRunning());
        // The question lists what each camera will get.
        QCOMPARE(h_.boxes->Texts().back(), std::string(kProceed) +
                                               "\n\nVCQ-R20(127.0.0.4): upgrade"
                                               "\nVCQ-R20(127.0.0.6): upgrade");
        QCOMPARE(w.NextButton()->text(), QString("&Abort"));
        QVERIFY(w.NextButton()->isEnabled());
        QVERIFY(!w.CancelButton()->isEnabled());
        QVERIFY(!w.BackButton()->isEnabled());
        QVERIFY(!page->RetryButton()->isEnabled());
        QVERIFY(!page->RetainBox()->isEnabled());
        QCOMPARE(list->Row(0).statusText, std::string("Completed"));
        QTRY_VERIFY_WITH_TIMEOUT(page->LogsShown() == 2, 90000);
        QCOMPARE(StatusTexts(list), std::vector<std::string>(6, "Completed"));
        QCOMPARE(page->Counter()->text(), QString("6/6"));
        QCOMPARE(w.CancelButton()->text(), QString("&Finish"));
        QVERIFY(!w.BackButton()->isEnabled());
        QVERIFY(!page->RetryButton()->isEnabled());  // nothing left to retry
        for (size_t i = 0; i < 6; ++i) {
            const int runs = (i == 2 || i == 4) ? 2 : 1;
            QCOMPARE(cameras_->RequestCount(i, "POST /command/main.cgi"), runs);
            QVERIFY(cameras_->Config(i).restoredConfiguration.empty());  // retain stayed off
        }

        const std::string first =
            "VCQ-R20(127.0.0.2) Completed successfully.\r\n"
            "VCQ-R20(127.0.0.3) Completed successfully.\r\n"
            "VCQ-R20(127.0.0.4) Network error (missing target).\r\n"
            "    the camera answered \"HTTP/1.1 500 Internal Server Error\" to "
            "System=versionup\r\n"
            "VCQ-R20(127.0.0.5) Completed successfully.\r\n"
            "VCQ-R20(127.0.0.6) Upgrade sequence error.\r\n"
            "    the camera came back with 1.05, expected 1.08\r\n"
            "VCQ-R20(127.0.0.7) Completed successfully.\r\n" +
            Summary(4, 2);
        // The retry's summary counts the cameras of that retry.
        const std::string retried =
            "VCQ-R20(127.0.0.4) Completed successfully.\r\n"
            "VCQ-R20(127.0.0.6) Completed successfully.\r\n" +
            Summary(2, 0);
        QCOMPARE(shown.size(), size_t(2));
        QCOMPARE(shown[0].log, first);
        QCOMPARE(shown[1].log, retried);
        // Each batch's log in its own file, in a dated folder of the backups'.
        const std::filesystem::path configurations =
            std::filesystem::path((h_.temp.path() + "/pf").toStdString()) / "TEZO" /
            "VCQ FirmwareUpgrade" / "Configurations";
        QVERIFY(shown[0].path != shown[1].path);
        // Beside each log its events, which the headless tool's retry reads:
        // the retry's name only its own cameras.
        const size_t eventCameras[] = {6, 2};
        for (size_t run = 0; run < 2; ++run) {
            std::string events;
            QVERIFY(vcq::files::ReadWholeFile(vcq::EventsPathBeside(shown[run].path), events));
            std::vector<vcq::cli::LoggedCamera> logged;
            std::string error;
            QVERIFY2(vcq::cli::ReadBatchEvents(events, logged, error), error.c_str());
            QCOMPARE(logged.size(), eventCameras[run]);
        }
        // The headless tool resumes the wizard's batch from the log the page
        // named: its dry run judges the two cameras that had failed.
        const vcq::test::Outcome resumed =
            vcq::test::RunCliProgram({"retry", shown[0].path, "--dry-run", "--json", "--user",
                                      "admin", "--password", "secret"},
                                     (h_.temp.path() + "/retry.err").toStdString());
        QVERIFY2(resumed.code == 0, (resumed.out + resumed.err).c_str());
        size_t judged = 0;
        for (size_t at = 0;
             (at = resumed.out.find("\"event\":\"dry_run\"", at)) != std::string::npos; ++at)
            ++judged;
        QCOMPARE(judged, size_t(2));
        // Given the folder, it takes the latest run there: the page's retry,
        // which left nothing to do.
        const vcq::test::Outcome latest = vcq::test::RunCliProgram(
            {"retry", std::filesystem::path(shown[1].path).parent_path().string(), "--dry-run",
             "--user", "admin", "--password", "secret"},
            (h_.temp.path() + "/retry.err").toStdString());
        QVERIFY2(latest.code == 0 && latest.out.find("nothing to do") != std::string::npos,
                 (latest.out + latest.err).c_str());
        for (const Shown& batch : shown) {
            const std::filesystem::path path(batch.path);
            QCOMPARE(path.parent_path().parent_path(), configurations);
            QCOMPARE(path.parent_path().filename().string().size(), size_t(10));  // yyMMddHHmm
            QVERIFY(path.filename().string().starts_with("upgrade-log"));
            QFile file(QString::fromStdString(batch.path));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(vcq::test::WithoutRunLines(file.readAll().toStdString()), batch.log);
        }

        // The log again, from the keyboard, as it was.
        QTest::keyClick(&w, Qt::Key_L, Qt::AltModifier);
        QTRY_COMPARE(shown.size(), size_t(3));
        QCOMPARE(shown[2].log, retried);
        w.CancelButton()->click();
        QVERIFY(w.Ended());
    }

    // A wrong password fails the check; the ended page says so in the row and
    // the summary, the login is mended with "Access setting...", and Retry
    // asks first: No starts nothing, Yes reruns that camera alone. The log
    // then offers both batches.
    void retryAfterAMendedLoginOffersBothBatchesLogs() {
        RequireCameras();
        StartCameras({"", ""});
        MainWindow& w = h_.Open();
        ToBatchPage(w, RecordsOfCameras(),
                    [](CameraListView* list) { list->SetLogin(1, "admin", "wrong"); });
        BatchUpgradePage* page = w.Batch();
        BatchUpgradeList* list = page->List();
        LogReader logs;
        std::vector<std::string> offered;
        std::string askedFor;
        std::vector<std::string> typed = {"wrong again", "secret"};
        page->SetLoginAsker(
            [&](QWidget*, const std::string& cameras, std::string& user, std::string& password) {
                askedFor = cameras;
                offered.push_back(user);
                password = typed[offered.size() - 1];
                return true;
            });
        QVERIFY(!page->AccessButton()->accessibleName().isEmpty());
        QVERIFY(!page->AccessButton()->isEnabled());
        page->RetainBox()->click();
        page->MaxFailuresBox()->setValue(1);  // the stop-loss reaches the engine
        h_.boxes->Queue(MessageAnswer::Ok);
        w.NextButton()->click();
        QTRY_VERIFY(!page->MaxFailuresBox()->isEnabled());
        QCOMPARE(page->Engine().MaxFailures(), size_t(1));
        QTRY_VERIFY_WITH_TIMEOUT(page->LogsShown() == 1, 90000);
        QTRY_COMPARE(logs.shown.size(), size_t(1));
        QTRY_VERIFY(!QApplication::activeModalWidget());  // the log closed
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));

        const QModelIndex status = list->model()->index(1, kBatchStatusColumn);
        QCOMPARE(status.data().toString(), QString("Error3 Login error."));
        QVERIFY(!status.data(Qt::AccessibleDescriptionRole).toString().isEmpty());
        const QString ended =
            "Summary: 1 completed, 1 failed, 0 configuration not back, 0 up to "
            "date, 0 not upgradable, 0 not started";
        QVERIFY(page->Summary()->isVisible());
        QCOMPARE(page->Summary()->text(), ended);
        QCOMPARE(page->Summary()->accessibleDescription(), ended);
        QVERIFY(logs.shown[0][0].endsWith(ended + "\n"));

        list->selectionModel()->select(
            list->model()->index(1, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        // Each login is tried on its camera first: one it refuses is not taken.
        for (size_t n = 0; n < typed.size(); ++n) {
            const std::string& password = typed[n];
            h_.boxes->Clear();
            QTest::keyClick(&w, Qt::Key_C, Qt::AltModifier);  // Access setting...
            QTRY_COMPARE(offered.size(), n + 1);              // a mnemonic clicks late
            QCOMPARE(askedFor, std::string("VCQ-R20(127.0.0.3)"));
            QVERIFY(!page->RetryButton()->isEnabled());
            QTRY_VERIFY_WITH_TIMEOUT(!page->TestingLogins(), 20000);
            QCOMPARE(page->Engine().Camera(1).password,
                     std::string(password == "secret" ? "secret" : "wrong"));
            QCOMPARE(h_.boxes->Saw("The login was refused by VCQ-R20(127.0.0.3): its login stays "
                                   "as it was."),
                     password != "secret");
            QCOMPARE(status.data().toString(), QString("Error3 Login error."));
        }

        h_.boxes->Clear();
        h_.boxes->Queue(MessageAnswer::Cancel);
        QTest::keyClick(&w, Qt::Key_Y, Qt::AltModifier);
        QTRY_VERIFY(h_.boxes->Saw(std::string(kProceed) + "\n\nVCQ-R20(127.0.0.3): upgrade"));
        QVERIFY(!page->EngineRunning());
        QCOMPARE(status.data().toString(), QString("Error3 Login error."));

        h_.boxes->Queue(MessageAnswer::Ok);
        QTest::keyClick(&w, Qt::Key_Y, Qt::AltModifier);
        QTRY_VERIFY(page->EngineRunning());
        QVERIFY(!page->Summary()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(page->LogsShown() == 2, 90000);
        QTRY_COMPARE(logs.shown.size(), size_t(2));
        QCOMPARE(status.data().toString(), QString("Completed"));
        QCOMPARE(cameras_->RequestCount(0, "POST /command/main.cgi"), 1);
        QCOMPARE(cameras_->RequestCount(1, "POST /command/main.cgi"), 1);

        // Both batches offered, in order, each as it ended.
        const std::vector<QString>& both = logs.shown[1];
        QCOMPARE(both.size(), size_t(2));
        QVERIFY(QString::fromStdString(vcq::test::WithoutRunLines(both[0].toStdString()))
                    .startsWith("VCQ-R20(127.0.0.2) Completed successfully.\n"
                                "VCQ-R20(127.0.0.3) Login error.\n"));
        QVERIFY(both[0].endsWith(ended + "\n"));
        QVERIFY(QString::fromStdString(vcq::test::WithoutRunLines(both[1].toStdString()))
                    .startsWith("VCQ-R20(127.0.0.3) Completed successfully.\nSummary: 1 "
                                "completed, 0 failed"));
        QCOMPARE(page->Logs().size(), size_t(2));
        QVERIFY(page->Logs()[0].path != page->Logs()[1].path);
        w.CancelButton()->click();
        QVERIFY(w.Ended());
    }

    void abortLetsRunningCamerasFinishAndDropsTheRest() {
        RequireCameras();
        // The second uploads slowly, so Abort comes while it uploads.
        StartCameras({"", "ftp-rate=300000", "", "", ""});
        MainWindow& w = h_.Open();
        ToBatchPage(w, RecordsOfCameras());
        BatchUpgradePage* page = w.Batch();
        BatchUpgradeList* list = page->List();
        std::vector<std::string> logs;
        page->SetLogShower([&](QWidget*, const std::string& log) {
            logs.push_back(vcq::test::WithoutRunLines(log));
        });
        h_.boxes->Queue(MessageAnswer::Ok);
        w.NextButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(list->Row(1).statusText, std::string("Uploading"), 30000);
        w.NextButton()->click();  // Abort
        QVERIFY(!w.NextButton()->isEnabled());
        QCOMPARE(w.PageIndex(), 10);

        QTRY_VERIFY_WITH_TIMEOUT(page->LogsShown() == 1, 90000);
        QCOMPARE(logs[0], std::string("VCQ-R20(127.0.0.2) Completed successfully.\r\n"
                                      "VCQ-R20(127.0.0.3) Completed successfully.\r\n"
                                      "VCQ-R20(127.0.0.4) Not started.\r\n"
                                      "VCQ-R20(127.0.0.5) Not started.\r\n"
                                      "VCQ-R20(127.0.0.6) Not started.\r\n" +
                                      Summary(2, 0, 3)));
        QCOMPARE(StatusTexts(list), (std::vector<std::string>{"Completed", "Completed", "Standby",
                                                              "Standby", "Standby"}));
        QCOMPARE(list->Row(2).progress, 0);
        QCOMPARE(page->Counter()->text(), QString("2/5"));  // the others never started
        QCOMPARE(w.CancelButton()->text(), QString("&Finish"));
        QCOMPARE(cameras_->RequestCount(2, "POST /command/main.cgi"), 0);
    }

    // Finish after an Abort dropped a camera in its check: the window goes at
    // once, and the drop has stopped the check's ask, which the camera would
    // answer only after 15 s.
    void finishNeverWaitsForACheckStillEnding() {
        RequireCameras();
        StartCameras({"delay=15000"});
        MainWindow& w = h_.Open();
        ToBatchPage(w, RecordsOfCameras());
        BatchUpgradePage* page = w.Batch();
        page->SetLogShower([](QWidget*, const std::string&) {});
        h_.boxes->Queue(MessageAnswer::Ok);
        w.NextButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(page->List()->Row(0).begun != BatchRow{}.begun, 30000);
        w.NextButton()->click();  // Abort: the camera under its check is dropped
        QTRY_COMPARE_WITH_TIMEOUT(w.CancelButton()->text(), QString("&Finish"), 30000);
        w.CancelButton()->click();
        QVERIFY(w.Ended());
        QVERIFY(!w.isVisible());
        QVERIFY2(UpgradeSession::AwaitReleased(std::chrono::seconds(1)),
                 "the check was not stopped");
    }

    void noTickedCameraGivesZeroOfZeroFinishAndOneEmptyLogAtOnce() {
        MainWindow& w = h_.Open();
        LogReader closer;
        ToBatchPage(w,
                    {test::RecordOf(sim::DefaultCamera(0)), test::RecordOf(sim::DefaultCamera(1))},
                    [](CameraListView* list) {
                        // Unticked behind the page's back: Next stays enabled.
                        list->Rows().MutableRow(0).ticked = 0;
                        list->Rows().MutableRow(1).ticked = 0;
                    });
        BatchUpgradePage* page = w.Batch();
        QCOMPARE(page->List()->Count(), 0);
        QCOMPARE(page->Counter()->text(), QString("0/0"));
        QCOMPARE(w.CancelButton()->text(), QString("&Finish"));
        QVERIFY(w.CancelButton()->isEnabled());
        QVERIFY(!w.NextButton()->isEnabled());
        QTRY_COMPARE(closer.shown.size(), size_t(1));
        QCOMPARE(closer.shown[0][0], QString());
        QTest::qWait(3 * kBatchCounterMs);
        QCOMPARE(closer.shown.size(), size_t(1));
        QCOMPARE(page->LogsShown(), 1);
        QVERIFY(h_.boxes->Boxes().empty());
    }

    void cancelInTheConfirmationReenablesBothBoxesAndStartsNothing() {
        MainWindow& w = h_.Open();
        ToBatchPage(w, {test::RecordOf(sim::DefaultCamera(0))});
        BatchUpgradePage* page = w.Batch();
        for (int round = 0; round < 2; ++round) {
            h_.boxes->Clear();
            h_.boxes->Queue(MessageAnswer::Cancel);
            w.NextButton()->click();
            QVERIFY(page->ConfirmationPending());
            QVERIFY(!page->RetainBox()->isEnabled());
            QVERIFY(!page->BackupBox()->isEnabled());
            QTRY_VERIFY(h_.boxes->Saw(kProceed));
            const MessageRequest& box = h_.boxes->Boxes()[0].request;
            QCOMPARE(box.caption, std::string("Information"));
            QCOMPARE(box.buttons, MessageButtons::OkCancel);
            QCOMPARE(box.icon, MessageIcon::Question);
            QVERIFY(page->RetainBox()->isEnabled());
            QVERIFY(page->BackupBox()->isEnabled());
            QVERIFY(!page->EngineRunning());
            QCOMPARE(w.PageIndex(), 8);
            QCOMPARE(w.NextButton()->text(), QString("&Upgrade"));
            QVERIFY(w.NextButton()->isEnabled());
            QVERIFY(w.CancelButton()->isEnabled());
            QCOMPARE(page->List()->Row(0).statusText, std::string("Standby"));
        }
    }

    // Cameras at 1.08 or 1.09 lose their settings, IP address included, when
    // upgraded: they start unticked (as do newer ones), and a batch with such cameras ticked asks
    // once, naming them; Cancel leaves them out. Nothing starts here: the
    // proceed question is cancelled.
    void camerasWhoseSettingsResetAreAskedForByAddress_data() {
        QTest::addColumn<QStringList>("versions");
        QTest::addColumn<bool>("tickAll");
        QTest::addColumn<int>("answer");  // to the question about resetting cameras
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QStringList>("batch");
        const QStringList mixed{"1.05", "1.08", "1.09"};
        QTest::newRow("ticked, OK keeps them")
            << mixed << true << int(MessageAnswer::Ok) << QStringList{"127.0.0.3", "127.0.0.4"}
            << QStringList{"127.0.0.2", "127.0.0.3", "127.0.0.4"};
        QTest::newRow("ticked, Cancel leaves them out")
            << mixed << true << int(MessageAnswer::Cancel) << QStringList{"127.0.0.3", "127.0.0.4"}
            << QStringList{"127.0.0.2"};
        QTest::newRow("left unticked: no question") << mixed << false << int(MessageAnswer::Ok)
                                                    << QStringList{} << QStringList{"127.0.0.2"};
        QTest::newRow("none of those versions")
            << QStringList{"1.07", "1.06", "1.05"} << false << int(MessageAnswer::Ok)
            << QStringList{} << QStringList{"127.0.0.2", "127.0.0.3", "127.0.0.4"};
        QTest::newRow("a newer camera starts unticked")
            << QStringList{"1.07", "1.10"} << false << int(MessageAnswer::Ok) << QStringList{}
            << QStringList{"127.0.0.2"};
        QTest::newRow("another generation starts unticked")
            << QStringList{"1.07", "3.00"} << false << int(MessageAnswer::Ok) << QStringList{}
            << QStringList{"127.0.0.2"};
        QTest::newRow("Cancel leaves nothing: nothing to proceed with")
            << QStringList{"1.09"} << true << int(MessageAnswer::Cancel) << QStringList{"127.0.0.2"}
            << QStringList{};
    }

    void camerasWhoseSettingsResetAreAskedForByAddress() {
        QFETCH(QStringList, versions);
        QFETCH(bool, tickAll);
        QFETCH(int, answer);
        QFETCH(QStringList, asked);
        QFETCH(QStringList, batch);
        MainWindow& w = h_.Open();
        LogReader closer;
        std::vector<CameraRecord> records;
        for (int i = 0; i < versions.size(); ++i) {
            sim::CameraConfig camera = sim::DefaultCamera(i);
            camera.softVersion = versions[i].toStdString();
            records.push_back(test::RecordOf(camera));
        }
        ToBatchPage(w, records, [&](CameraListView* list) {
            for (int row = 0; row < list->Count(); ++row) {
                // Up to date, resetting or of another generation: unticked.
                const bool plain = versions[row] != "1.08" && versions[row] != "1.09" &&
                                   versions[row] != "3.00" && versions[row] != "1.10";
                QCOMPARE(list->Rows().Row(row).ticked, plain ? 1 : 0);
                if (tickAll)
                    list->Rows().MutableRow(row).ticked = 1;
            }
            emit list->LoginsChanged();
        });
        if (!asked.isEmpty())
            h_.boxes->Queue(static_cast<MessageAnswer>(answer));
        h_.boxes->Queue(MessageAnswer::Cancel);
        w.NextButton()->click();
        BatchUpgradePage* page = w.Batch();
        QTRY_VERIFY(!page->ConfirmationPending());

        std::vector<std::string> expected;
        if (!asked.isEmpty()) {
            std::string question =
                "The current set up information of the camera including IP address will be "
                "reset to default.\r\n";
            for (const QString& address : asked)
                question += "\r\n" + address.toStdString();
            expected.push_back(question);
        }
        if (!batch.isEmpty())
            expected.push_back(kProceed);
        QCOMPARE(h_.boxes->Texts(), expected);
        QStringList listed;
        for (int row = 0; row < page->List()->Count(); ++row)
            listed << QString::fromStdString(page->List()->Row(row).addressText);
        QCOMPARE(listed, batch);
        QVERIFY(!page->EngineRunning());
        if (batch.isEmpty()) {  // a batch of none ends at once, as with no ticks
            QTRY_COMPARE(closer.shown.size(), size_t(1));
            QCOMPARE(w.CancelButton()->text(), QString("&Finish"));
        } else {
            QVERIFY(page->RetainBox()->isEnabled());
            QCOMPARE(w.NextButton()->text(), QString("&Upgrade"));
            QCOMPARE(page->LogsShown(), 0);
        }
    }

    void untickingRetainClearsAndDisablesBackup() {
        MainWindow& w = h_.Open();
        ToBatchPage(w, {test::RecordOf(sim::DefaultCamera(0))});
        BatchUpgradePage* page = w.Batch();
        QVERIFY(page->RetainBox()->isChecked());
        QVERIFY(!page->BackupBox()->isChecked());
        // A mnemonic clicks as a press shown for a moment.
        QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
        QTRY_VERIFY(page->BackupBox()->isChecked());
        QTest::keyClick(&w, Qt::Key_R, Qt::AltModifier);  // untick Retain
        QTRY_VERIFY(!page->RetainBox()->isChecked());
        QVERIFY(!page->BackupBox()->isEnabled());
        QVERIFY(!page->BackupBox()->isChecked());
        page->RetainBox()->click();
        QVERIFY(page->BackupBox()->isEnabled());
        QVERIFY(!page->BackupBox()->isChecked());

        // Upgrade, then Back before the confirmation: no question, nothing
        // starts, and Next again lists the cameras afresh with usable boxes.
        w.NextButton()->click();
        QVERIFY(!page->RetainBox()->isEnabled());
        w.BackButton()->click();
        QCOMPARE(w.PageIndex(), 7);
        w.NextButton()->click();
        QCOMPARE(w.PageIndex(), 8);
        QTest::qWait(2 * kBatchConfirmMs);
        QVERIFY(!h_.boxes->Saw(kProceed));
        QCOMPARE(page->List()->Count(), 1);
        QVERIFY(page->RetainBox()->isEnabled());
        QVERIFY(page->BackupBox()->isEnabled());
        QVERIFY(!page->EngineRunning());
    }
};

QTEST_MAIN(BatchPageTest)
#include "batch_page_test.moc"
