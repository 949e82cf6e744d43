// "Add other cameras..." of the target camera page inside the wizard, against
// stand-in cameras on port 80 of 127.x addresses: a CSV file of five cameras
// (one replying in pieces, one silent, one of another model, one already
// detected) is judged without stalling the window, and the valid ones join
// the page's list. Runs inside tests/isolated.
#include <QApplication>
#include <QElapsedTimer>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>

#include "simulator.h"
#include "sysinfo_camera.h"
#include "wizard/add_cameras_dialog.h"
#include "wizard/lists/verify_list.h"
#include "wizard_support.h"

using namespace vcq;
using namespace vcq::ui;
using vcq::test::ScriptedPresenter;
using vcq::test::SysinfoCamera;

class AddCamerasCamerasTest : public QObject {
    Q_OBJECT

    QTemporaryDir temp_;

  private slots:
    void initTestCase() {
        QVERIFY(temp_.isValid());
        QApplication::setStyle(QStyleFactory::create("Fusion"));
        qputenv("ProgramFiles", (temp_.path() + "/pf").toUtf8());
        ListView::SetUrlOpener([](const QUrl&) {});
    }

    void aLoadedListIsJudgedAndTheValidCamerasJoinThePage() {
        if (!test::InsideIsolatedNetwork())
            QSKIP("needs the isolated network of tests/isolated (stand-in cameras on port 80)");
        sim::Simulator cameras;
        std::string error;
        QVERIFY2(cameras.AddCameras(
                     {SysinfoCamera("127.0.0.2", "VCQ-R20"), SysinfoCamera("127.0.0.3", "VCQ-R20"),
                      SysinfoCamera("127.0.0.4", "VCQ-X99"),
                      SysinfoCamera("127.0.0.5", "VCQ-R20N", 8080),
                      SysinfoCamera("127.0.0.6", "VCQ-R20")},
                     &error),
                 error.c_str());
        cameras.SetHttpFault(0, sim::HttpFault::SplitHeadersAndBody);
        cameras.SetHttpFault(1, sim::HttpFault::AcceptNeverAnswer);

        const QString path = temp_.filePath("cameras.csv");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("127.0.0.2\r\n127.0.0.3\r\n127.0.0.4\r\n127.0.0.5,8080\r\n127.0.0.6\r\n");
        file.close();
        AddCamerasDialog::SetFileChooser([path](QWidget*) { return path; });

        ScriptedPresenter boxes;
        auto w = test::OpenWizard(boxes, temp_.path(), false);
        CameraRecord detected;
        std::snprintf(detected.mac, sizeof detected.mac, "08-00-46-00-00-06");
        std::snprintf(detected.model, sizeof detected.model, "VCQ-R20");
        const uint8_t ip[] = {127, 0, 0, 6};
        std::memcpy(detected.ip, ip, 4);
        detected.webPort = 80;
        w->Table().Store(detected);
        w->NextButton()->click();
        w->Agreement()->AgreeButton()->click();
        w->NextButton()->click();
        w->NextButton()->click();
        QCOMPARE(w->PageIndex(), 7);
        TargetCameraPage* page = w->AutoTarget();
        QCOMPARE(page->List()->Count(), 1);
        page->RevealButton()->click();
        QTRY_VERIFY(!page->Animating());

        std::vector<std::string> models;
        std::vector<int32_t> validity, marks;
        qint64 longestGap = 0;
        bool judged = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<AddCamerasDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            dialog->LoadCsvButton()->click();
            // The window keeps painting while cameras are asked.
            QElapsedTimer clock, gap;
            clock.start();
            gap.start();
            QTimer probe;
            QObject::connect(&probe, &QTimer::timeout,
                             [&] { longestGap = std::max(longestGap, gap.restart()); });
            probe.start(10);
            while (!dialog->OkButton()->isEnabled() && clock.elapsed() < 20000)
                QTest::qWait(20);
            probe.stop();
            judged = dialog->OkButton()->isEnabled();
            const VerifyListModel& rows = dialog->State().List();
            for (size_t i = 0; i < rows.RowCount(); ++i) {
                models.push_back(rows.RowAt(i).texts[verify_text::kModel]);
                validity.push_back(rows.RowAt(i).validity);
                marks.push_back(rows.RowAt(i).duplicate);
            }
            boxes.Queue(MessageAnswer::Ok);  // "Not all the listed cameras are valid!"
            dialog->OkButton()->click();
            if (dialog->isVisible())
                dialog->done(QDialog::Rejected);
        });
        page->AddOtherButton()->click();

        QVERIFY(judged);
        qInfo("longest pause of the window while verifying: %lld ms", longestGap);
        QVERIFY2(longestGap < vcq::test::kMaxUiStallMs,
                 "the window stalled while cameras were asked");
        QCOMPARE(models, (std::vector<std::string>{"VCQ-R20", "No response", "VCQ-X99", "VCQ-R20N",
                                                   "VCQ-R20"}));
        QCOMPARE(validity, (std::vector<int32_t>{1, 2, 2, 1, 1}));
        QCOMPARE(marks, (std::vector<int32_t>{0, 0, 0, 0, 2}));
        QCOMPARE(boxes.Texts(),
                 (std::vector<std::string>{"Not all the listed cameras are valid!"}));

        CameraListView* list = page->List();
        QCOMPARE(list->Count(), 3);
        QCOMPARE(list->Rows().Row(1).texts[text::kAddress], std::string("127.0.0.2"));
        QCOMPARE(list->Rows().Row(1).texts[text::kModel], std::string("VCQ-R20"));
        QCOMPARE(list->Rows().Row(1).texts[text::kVersion], std::string("1.05"));
        QCOMPARE(list->Rows().Row(1).tag, 0);
        QCOMPARE(list->Rows().Row(2).texts[text::kAddress], std::string("127.0.0.5:8080"));
        QCOMPARE(list->Rows().Row(2).port, 8080);
        QCOMPARE(list->Rows().Row(2).tag, 1);
        QVERIFY(page->SelectAllButton()->isEnabled());
        QVERIFY(page->AccessButton()->isEnabled());
        QVERIFY(page->TestingButton()->isEnabled());
        // Each camera was asked once.
        QCOMPARE(cameras.RequestCount(0, "inq=sysinfo"), 1);
        QCOMPARE(cameras.RequestCount(2, "inq=sysinfo"), 1);

        boxes.Queue(MessageAnswer::No);
        w->reject();
    }
};

QTEST_MAIN(AddCamerasCamerasTest)
#include "add_cameras_cameras_test.moc"
