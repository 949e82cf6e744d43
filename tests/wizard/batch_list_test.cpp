// The batch list on its own with scripted jobs: the columns, a row drawn with
// its frame and stretched bar, the status texts following the jobs, and a
// header press that only beeps.
#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyleFactory>
#include <QToolTip>
#include <QtTest>

#include "upgrade/steps.h"
#include "wizard/beep.h"
#include "wizard/lists/batch_upgrade_list.h"

using namespace vcq;
using namespace vcq::ui;

namespace {

// A job whose check passes at once and whose step and progress the test sets.
class ScriptedJob : public BatchJob {
  public:
    void BeginCheck() override {}
    CheckOutcome PollCheck() override { return CheckOutcome::Passed; }
    void Start() override { step = step::kUploading; }
    int32_t Step() const override { return step; }
    int32_t Progress() const override { return progress; }
    int32_t AddProgress(int32_t amount) override { return progress += amount; }
    std::string TargetVersion() const override { return "ver1.08"; }
    void Abandon() override {}
    void Stop(StopCause cause) override {
        StoppedEnd end = StoppedEndOf(cause, CheckOutcome::Passed, detail, step, {}, {});
        step = end.step;
        detail = std::move(end.reason);
    }
    bool Busy() const override { return false; }
    CameraEnd End() const override {
        CameraEnd end;
        end.finalStep = step;
        end.reason = detail;
        end.keptFile = kept;
        SettleEnd(end, CheckOutcome::Passed, ReasonCode::CheckFailed, false);
        return end;
    }

    int32_t step = step::kNotStarted;
    std::string detail;
    std::string kept;
    int32_t progress = 0;
};

BatchCamera Camera(uint8_t last, int32_t port = 80) {
    BatchCamera camera;
    camera.ip = {192, 168, 0, last};
    camera.port = port;
    camera.model = "VCQ-R20";
    camera.version = "1.05";
    return camera;
}

}  // namespace

class BatchListTest : public QObject {
    Q_OBJECT

    std::vector<std::shared_ptr<ScriptedJob>> jobs_;
    std::unique_ptr<BatchEngine> engine_;

    std::unique_ptr<BatchUpgradeList> MakeList() {
        jobs_.clear();
        engine_ = std::make_unique<BatchEngine>(
            [this](const BatchCamera&, int32_t, std::shared_ptr<const BatchSettings>) {
                jobs_.push_back(std::make_shared<ScriptedJob>());
                return jobs_.back();
            });
        auto list = std::make_unique<BatchUpgradeList>(*engine_);
        list->resize(700, 200);
        list->show();
        [[maybe_unused]] bool exposed = QTest::qWaitForWindowExposed(list.get());
        return list;
    }

  private slots:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create("Fusion")); }

    void columnsAndTextsFollowTheJobs() {
        auto list = MakeList();
        QHeaderView* header = list->header();
        const int widths[] = {30, 100, 82, 70, 120, 90};
        const char* titles[] = {"ID", "IP address", "Model", "Version No", "Progress", "Status"};
        for (int c = 0; c < 6; ++c) {
            QVERIFY(header->sectionSize(c) >= widths[c]);
            QCOMPARE(list->model()->headerData(c, Qt::Horizontal).toString(), QString(titles[c]));
        }
        // The widest texts fit whole in the list's font.
        const QFontMetrics metrics = list->fontMetrics();
        for (auto [column, text] : {std::pair{0, "256"},
                                    {1, "192.168.100.200"},
                                    {1, "10.0.0.10:8080"},
                                    {3, "10.88.888"},
                                    {5, "Loading config file"}})
            QCOMPARE(ElideColumnText(metrics, text, header->sectionSize(column)), QString(text));
        QVERIFY(list->model()->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).toInt() &
                Qt::AlignRight);

        QVERIFY(list->AddCamera(Camera(10)));
        QVERIFY(list->AddCamera(Camera(11, 8080)));
        QAbstractItemModel* model = list->model();
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->index(1, 0).data().toString(), QString("002"));
        QCOMPARE(model->index(1, 1).data().toString(), QString("192.168.0.11:8080"));
        QCOMPARE(model->index(0, 3).data().toString(), QString("1.05"));
        QCOMPARE(model->index(0, 4).data().toString(), QString());
        QCOMPARE(model->index(0, 5).data().toString(), QString("Standby"));

        // One start per tick; the view hears of the changed row.
        QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, list.get(), [&] {
            if (!engine_->Tick())
                ticks.stop();
            list->ShowChangedRows();
        });
        ticks.start(static_cast<int>(kBatchTickMs));
        QTRY_COMPARE(model->index(0, 5).data().toString(), QString("Uploading"));
        QVERIFY(!changed.isEmpty());
        jobs_[0]->progress = 5000;
        QTRY_COMPARE(model->index(0, 4).data(Qt::AccessibleTextRole).toString(), QString("50%"));
        jobs_[0]->step = step::kCompleted;
        jobs_[1]->step = step::kWrongVersion;
        QTRY_VERIFY(!ticks.isActive());
        QCOMPARE(model->index(0, 3).data().toString(), QString("1.08"));
        QCOMPARE(model->index(1, 5).data().toString(), QString("Error2 Upgrade sequence error."));
        QCOMPARE(list->LogText(), std::string("VCQ-R20(192.168.0.10) Completed successfully.\r\n"
                                              "VCQ-R20(192.168.0.11:8080) Upgrade sequence "
                                              "error.\r\n"));
    }

    void rowShowsItsFrameAndBarButNoSelection() {
        auto list = MakeList();
        QVERIFY(list->AddCamera(Camera(10)));
        list->selectAll();
        // Ticked by hand, so the progress stays where it is put.
        engine_->Tick();
        QCOMPARE(list->Row(0).statusText, std::string("Uploading"));
        jobs_[0]->progress = 4999;
        engine_->Tick();  // one more for the tick in service
        QCOMPARE(list->Row(0).progress, 5000);
        list->viewport()->repaint();

        const QImage image = list->viewport()->grab().toImage();
        const QRect row = list->visualRect(list->model()->index(0, 0));
        const int left = list->header()->sectionViewportPosition(kBatchProgressColumn);
        const int width = list->header()->sectionSize(kBatchProgressColumn);
        const int top = row.top();
        const int height = row.height();
        // The black frame, the grey one a pixel right and down, and the bar
        // inside the black one over half its inner width.
        const int half = (width - 3) / 2;
        QCOMPARE(image.pixelColor(left, top + height / 2), QColor(Qt::black));
        QCOMPARE(image.pixelColor(left + width - 2, top + height / 2), QColor(Qt::black));
        QCOMPARE(image.pixelColor(left + width - 1, top + height / 2), QColor(192, 192, 192));
        QCOMPARE(image.pixelColor(left + 1, top + 3), ProgressShades()[0]);
        QCOMPARE(image.pixelColor(left + half, top + 3), ProgressShades()[0]);
        QVERIFY(image.pixelColor(left + half + 2, top + 3) != ProgressShades()[0]);
        QCOMPARE(image.pixelColor(left + 30, top + 3 + height - 8),
                 ProgressShades()[ProgressShades().size() - 1]);
        // Selected, yet the plain background: no highlight.
        const QColor background = image.pixelColor(2, top + height - 1);
        QVERIFY(background.lightness() > 200);
    }

    // How a row tells its end, whichever cell the pointer or the reader is
    // on: the reason and the file it left in its tooltip and accessible
    // description, and a red bar only when it failed.
    void rowTellsItsEnd_data() {
        QTest::addColumn<int>("finalStep");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("red");
        QTest::addColumn<QString>("status");
        QTest::newRow("completed") << int(step::kCompleted) << ""
                                   << ""
                                   << "" << false << "Completed";
        QTest::newRow("still running") << int(step::kOverwriting) << ""
                                       << ""
                                       << "" << false << "Overwriting";
        QTest::newRow("upload refused")
            << int(step::kUploadFailed) << "FTP: 550 No space left on device"
            << ""
            << "FTP: 550 No space left on device" << true << "Error4 Ftp error.";
        QTest::newRow("came back with the old version, its file kept")
            << int(step::kWrongVersion) << "the camera came back with 1.05, expected 1.08"
            << "/b/vcq-r20.1.cfg"
            << "the camera came back with 1.05, expected 1.08; the saved configuration is kept "
               "in /b/vcq-r20.1.cfg"
            << true << "Error2 Upgrade sequence error. (kept: vcq-r20.1.cfg)";
        QTest::newRow("configuration not back")
            << int(step::kNotRestored) << "the camera refused the configuration (HTTP 500)"
            << "/b/vcq-r20.1.cfg"
            << "the camera refused the configuration (HTTP 500); the saved configuration is "
               "kept in /b/vcq-r20.1.cfg"
            << true << "Error7 Cannot load config. (kept: vcq-r20.1.cfg)";
        QTest::newRow("completed, its backup kept")
            << int(step::kCompleted) << ""
            << "/b/vcq-r20.1.cfg"
            << "the saved configuration is kept in /b/vcq-r20.1.cfg" << false << "Completed";
        QTest::newRow("failed, reason unknown")
            << int(step::kVersionUpRefused) << ""
            << ""
            << "" << true << "Error1 Network error (missing target).";
    }

    void rowTellsItsEnd() {
        QFETCH(int, finalStep);
        QFETCH(QString, reason);
        QFETCH(QString, kept);
        QFETCH(QString, detail);
        QFETCH(bool, red);
        QFETCH(QString, status);
        auto list = MakeList();
        QVERIFY(list->AddCamera(Camera(10)));
        engine_->Tick();
        jobs_[0]->step = finalStep;
        jobs_[0]->detail = reason.toStdString();
        jobs_[0]->kept = kept.toStdString();
        jobs_[0]->progress = 5000;
        engine_->Tick();
        list->ShowChangedRows();
        if (finalStep != step::kOverwriting)
            QCOMPARE(list->Row(0).end.finalStep, finalStep);
        // The status says how it ended and names a file left behind, the
        // reason staying in the tooltip.
        QCOMPARE(list->model()->index(0, kBatchStatusColumn).data().toString(), status);
        for (int column : {1, kBatchStatusColumn}) {
            const QModelIndex cell = list->model()->index(0, column);
            QCOMPARE(cell.data(Qt::AccessibleDescriptionRole).toString(), detail);
            const QPoint at = list->visualRect(cell).center();
            QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
            QToolTip::hideText();
            QApplication::sendEvent(list->viewport(), &help);
            QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), detail);
        }
        list->viewport()->repaint();
        const QImage image = list->viewport()->grab().toImage();
        const int left = list->header()->sectionViewportPosition(kBatchProgressColumn);
        const int top = list->visualRect(list->model()->index(0, 0)).top();
        QCOMPARE(image.pixelColor(left + 1, top + 3),
                 red ? FailureShades()[0] : ProgressShades()[0]);
        QVERIFY(FailureShades()[0] != ProgressShades()[0]);
    }

    void followsTheFirstCameraInServiceUntilScrolledByHand() {
        auto list = MakeList();
        list->resize(700, list->header()->height() + 6 * list->RowHeight());
        QCoreApplication::processEvents();
        for (uint8_t last = 1; last <= 30; ++last)
            QVERIFY(list->AddCamera(Camera(last)));
        auto visible = [&](int row) {
            return list->viewport()->rect().contains(
                list->visualRect(list->model()->index(row, 0)));
        };
        struct Step {
            int follow;
            bool byHandBefore;
            int visibleRow;
        };
        const Step steps[] = {
            {20, false, 20},  // far down: the list goes there
            {2, false, 2},    // and back up
            {-1, false, 2},   // no camera in service: stays
            {25, true, 2},    // the operator scrolled: left alone
        };
        for (const Step& s : steps) {
            if (s.byHandBefore)
                list->verticalScrollBar()->setValue(0);
            list->Follow(s.follow);
            QVERIFY2(visible(s.visibleRow), qPrintable(QString::number(s.follow)));
        }
        QVERIFY(list->ScrolledByHand());
        // A new batch follows again.
        list->RestartFollowing();
        list->Follow(25);
        QVERIFY(visible(25));
    }

    void headerPressOnlyBeeps() {
        auto list = MakeList();
        QVERIFY(list->AddCamera(Camera(20)));
        QVERIFY(list->AddCamera(Camera(3)));
        int beeps = 0;
        SetBeepHook([&] { ++beeps; });
        QHeaderView* header = list->header();
        for (int column : {1, 5}) {
            const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, 5));
        }
        SetBeepHook(nullptr);
        QCOMPARE(beeps, 2);
        QCOMPARE(list->Row(0).addressText, std::string("192.168.0.20"));
        QCOMPARE(list->model()->index(0, 1).data().toString(), QString("192.168.0.20"));
        QVERIFY(!header->isSortIndicatorShown());
    }
};

QTEST_MAIN(BatchListTest)
#include "batch_list_test.moc"
