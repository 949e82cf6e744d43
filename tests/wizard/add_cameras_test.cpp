// The add-other-cameras dialog over a detected camera list, with cameras that
// answer from memory on the verification's worker threads: capacity, the
// amber and pink rows, OK after the warning, Cancel, sorting, the browser
// and refused imports. No network.
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <memory>
#include <mutex>

#include "scripted_server.h"
#include "wizard/add_cameras_dialog.h"
#include "wizard/entry_terminals_dialog.h"
#include "wizard/lists/camera_list_view.h"
#include "wizard/lists/verify_list.h"
#include "wizard_support.h"

using namespace vcq;
using namespace vcq::ui;
using vcq::test::OnNextDialog;
using vcq::test::ScriptedPresenter;

namespace {

const QColor kAmber(255, 217, 91);
const QColor kPink(255, 163, 163);

std::string Sysinfo(const std::string& model) {
    return test::OkReply("ModelName=" + model + "&Serial=10000042&SoftVersion=1.05");
}

// Cameras by host text; unknown hosts give no reply.
class FakeCameras {
  public:
    void Set(const std::string& host, const std::string& reply) {
        std::lock_guard lock(state_->mutex);
        state_->replies[host] = reply;
    }
    SysinfoExchange Exchange() const {
        return [state = state_](const std::string& host) {
            std::lock_guard lock(state->mutex);
            auto found = state->replies.find(host);
            return JobReply{true, found == state->replies.end() ? "" : found->second, ""};
        };
    }

  private:
    struct State {
        std::mutex mutex;
        std::map<std::string, std::string> replies;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

void Paste(AddCamerasDialog& dialog, const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    dialog.PasteButton()->click();
}

std::vector<std::string> Column(AddCamerasDialog& dialog, size_t column) {
    std::vector<std::string> texts;
    const VerifyListModel& rows = dialog.State().List();
    for (size_t i = 0; i < rows.RowCount(); ++i)
        texts.push_back(rows.RowAt(i).texts[column]);
    return texts;
}

// The middle of row `row`'s background, right of its texts.
QColor Background(VerifyList& list, int row) {
    const QImage image = list.viewport()->grab().toImage();
    const QRect rect = list.visualRect(list.model()->index(row, 0));
    return image.pixelColor(list.viewport()->width() - 4, rect.center().y());
}

}  // namespace

class AddCamerasTest : public QObject {
    Q_OBJECT

    QTemporaryDir temp_;
    std::unique_ptr<ScriptedPresenter> boxes_;
    std::unique_ptr<QWidget> host_;
    CameraListView* detected_ = nullptr;
    FakeCameras cameras_;
    QList<QUrl> opened_;

    // A detected list holding `count` cameras on 10.1.x.y, plus `extra`.
    std::unique_ptr<AddCamerasDialog> Open(int count, std::vector<Ipv4> extra = {}) {
        for (int i = 0; i < count; ++i) {
            const Ipv4 ip{10, 1, static_cast<uint8_t>(i / 200), static_cast<uint8_t>(i % 200)};
            detected_->AddRow(detected_->Count(), "", AddressText(ip, 80), "VCQ-R20", "1", "1.05",
                              ip, 80, -1);
        }
        for (const Ipv4& ip : extra)
            detected_->AddRow(detected_->Count(), "", AddressText(ip, 80), "VCQ-R20", "1", "1.05",
                              ip, 80, -1);
        auto dialog = std::make_unique<AddCamerasDialog>(
            detected_, ModelList{{"VCQ-R20", "VCQ-R20N"}}, test::ShortLimits(), host_.get());
        dialog->State().List().SetExchange(cameras_.Exchange());
        dialog->show();
        return dialog;
    }

    static void WaitJudged(AddCamerasDialog& dialog) {
        QTRY_VERIFY_WITH_TIMEOUT(dialog.OkButton()->isEnabled(), 10000);
    }

  private slots:
    void initTestCase() {
        QVERIFY(temp_.isValid());
        QApplication::setStyle(QStyleFactory::create("Fusion"));
        ListView::SetUrlOpener([this](const QUrl& url) { opened_.append(url); });
        cameras_.Set("10.0.0.1", Sysinfo("VCQ-R20"));
        cameras_.Set("10.0.0.1:8080", Sysinfo("VCQ-R20"));
        cameras_.Set("10.0.0.2", Sysinfo("VCQ-R20N"));
        cameras_.Set("10.0.0.3", Sysinfo("VCQ-X99"));
        cameras_.Set("10.0.0.5", Sysinfo("VCQ-R20"));
        cameras_.Set("10.0.0.9", Sysinfo("VCQ-R20"));
        cameras_.Set("10.0.0.9:8080", Sysinfo("VCQ-R20"));
        cameras_.Set("10.0.0.20", Sysinfo("VCQ-R20"));
    }

    void init() {
        boxes_ = std::make_unique<ScriptedPresenter>();
        host_ = std::make_unique<QWidget>();
        detected_ = new CameraListView(nullptr, host_.get());
        opened_.clear();
        AddCamerasDialog::SetFileChooser({});
    }

    void cleanup() {
        host_.reset();
        boxes_.reset();
    }

    void with250DetectedRoomForSixStopsTheButtonsAndTheImport() {
        auto dialog = Open(250);
        QCOMPARE(dialog->Counter()->text(), QString("6/6"));
        QVERIFY(dialog->AddButton()->isEnabled());
        QVERIFY(dialog->PasteButton()->isEnabled());
        QVERIFY(dialog->LoadCsvButton()->isEnabled());
        QVERIFY(!dialog->EditButton()->isEnabled());
        QVERIFY(!dialog->DeleteButton()->isEnabled());
        QVERIFY(!dialog->OkButton()->isEnabled());

        Paste(*dialog, "10.0.0.1\r\n10.0.0.2\r\n10.0.0.3\r\n10.0.0.20\r\n");
        QCOMPARE(dialog->Counter()->text(), QString("2/6"));
        // A file appends from its first entry, as many as fit; a technician's
        // folder name is no obstacle.
        QVERIFY(QDir(temp_.path()).mkpath(QString::fromUtf8("J\xC3\xBCrgen")));
        const QString path = temp_.filePath(QString::fromUtf8("J\xC3\xBCrgen/cameras.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("10.2.0.1\r\n10.2.0.2\r\n10.2.0.3\r\n10.2.0.4\r\n");
        file.close();
        AddCamerasDialog::SetFileChooser([path](QWidget*) { return path; });
        dialog->LoadCsvButton()->click();
        QCOMPARE(Column(*dialog, verify_text::kAddress),
                 (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.20",
                                           "10.2.0.1", "10.2.0.2"}));
        QCOMPARE(Column(*dialog, verify_text::kId),
                 (std::vector<std::string>{"001", "002", "003", "004", "005", "006"}));
        QCOMPARE(dialog->Counter()->text(), QString("0/6"));
        QVERIFY(!dialog->AddButton()->isEnabled());
        QVERIFY(!dialog->PasteButton()->isEnabled());
        QVERIFY(!dialog->LoadCsvButton()->isEnabled());
        QVERIFY(dialog->EditButton()->isEnabled());
        QVERIFY(dialog->DeleteButton()->isEnabled());
        QCOMPARE(dialog->List()->SelectedRow(), std::optional<size_t>(5));
        QVERIFY(boxes_->Boxes().empty());
        // Nothing is handed over while cameras are being asked.
        QVERIFY(!dialog->OkButton()->isEnabled());
        WaitJudged(*dialog);
    }

    void amberForAnAddressTwicePinkForOneDetectedAndOnlyValidRowsHandedOver() {
        auto dialog = Open(0, {{10, 0, 0, 5}});
        // Typed by hand: ADD keeps each address and opens the next entry.
        OnNextDialog([](QDialog& d) {
            auto& terminals = dynamic_cast<EntryTerminalsDialog&>(d);
            const char* addresses[] = {"10.0.0.5", "10.0.0.9", "10.0.0.20", "10.0.0.3"};
            for (const char* address : addresses) {
                terminals.Address()->SetText(address);
                terminals.Port80Button()->click();
                terminals.AddButton()->click();
            }
            terminals.Address()->SetText("10.0.0.9");
            terminals.CustomPortButton()->click();
            terminals.PortEdit()->setText("8080");
            terminals.OkButton()->click();
        });
        dialog->AddButton()->click();
        QCOMPARE(Column(*dialog, verify_text::kAddress),
                 (std::vector<std::string>{"10.0.0.5", "10.0.0.9", "10.0.0.20", "10.0.0.3",
                                           "10.0.0.9:8080"}));
        QCOMPARE(dialog->Counter()->text(), QString("250/255"));
        WaitJudged(*dialog);
        QCOMPARE(Column(*dialog, verify_text::kModel),
                 (std::vector<std::string>{"VCQ-R20", "VCQ-R20", "VCQ-R20", "VCQ-X99", "VCQ-R20"}));
        for (const std::string& version : Column(*dialog, verify_text::kVersion))
            QCOMPARE(version, std::string("1.05"));

        VerifyList& list = *dialog->List();
        list.selectionModel()->clearSelection();
        QCOMPARE(Background(list, 0), kPink);   // already detected
        QCOMPARE(Background(list, 1), kAmber);  // 10.0.0.9 twice, ports aside
        QCOMPARE(Background(list, 4), kAmber);
        QVERIFY(Background(list, 2) != kAmber && Background(list, 2) != kPink);
        // Another model: greyed.
        QCOMPARE(list.model()->index(3, 2).data(Qt::ForegroundRole).value<QColor>(),
                 kInvalidRowText);
        QVERIFY(!list.model()->index(2, 2).data(Qt::ForegroundRole).isValid());

        boxes_->Queue(MessageAnswer::Cancel);
        dialog->OkButton()->click();
        QVERIFY(dialog->isVisible());
        QCOMPARE(detected_->Count(), 1);
        boxes_->Queue(MessageAnswer::Ok);
        dialog->OkButton()->click();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(boxes_->Texts(),
                 (std::vector<std::string>{"Not all the listed cameras are valid!",
                                           "Not all the listed cameras are valid!"}));
        QCOMPARE(boxes_->Boxes()[0].request.caption, std::string("Information"));
        QVERIFY(boxes_->Boxes()[0].request.icon == MessageIcon::Question);
        QCOMPARE(detected_->Count(), 2);
        const CameraRow& added = detected_->Rows().Row(1);
        QCOMPARE(added.texts[text::kAddress], std::string("10.0.0.20"));
        QCOMPARE(added.texts[text::kMac], std::string());
        QCOMPARE(added.texts[text::kModel], std::string("VCQ-R20"));
        QCOMPARE(added.texts[text::kSerial], std::string("10000042"));
        QCOMPARE(added.tag, 0);
    }

    void cancelClosesAnEmptyListAtOnceAndAsksOtherwise() {
        auto dialog = Open(3);
        dialog->CancelButton()->click();
        QVERIFY(!dialog->isVisible());
        QVERIFY(boxes_->Boxes().empty());

        dialog = Open(0);
        Paste(*dialog, "10.0.0.1\n");
        boxes_->Queue(MessageAnswer::Cancel);
        dialog->CancelButton()->click();
        QVERIFY(dialog->isVisible());
        boxes_->Queue(MessageAnswer::Ok);
        QTest::keyClick(dialog.get(), Qt::Key_Escape);  // the same question
        QVERIFY(!dialog->isVisible());
        QCOMPARE(boxes_->Texts(), (std::vector<std::string>{"All of the data will be released.",
                                                            "All of the data will be released."}));
        QCOMPARE(detected_->Count(), 3);
    }

    void headerSortsKeepingIdsAndTheSelectionWithItsRow() {
        auto dialog = Open(0);
        Paste(*dialog, "10.0.0.3\n10.0.0.20\n10.0.0.1\n");
        WaitJudged(*dialog);
        VerifyList& list = *dialog->List();
        list.SelectRow(0);
        emit list.UserSelected();
        auto pressHeader = [&](int column) {
            QHeaderView* header = list.header();
            const QPoint middle(
                header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                header->height() / 2);
            QTest::mousePress(header->viewport(), Qt::LeftButton, {}, middle);
            QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, middle);
        };
        pressHeader(0);  // "ID": highest first
        QCOMPARE(Column(*dialog, verify_text::kId),
                 (std::vector<std::string>{"003", "002", "001"}));
        QCOMPARE(list.SelectedRow(), std::optional<size_t>(2));
        QCOMPARE(dialog->State().Selected(), std::optional<size_t>(2));
        pressHeader(1);  // addresses as text
        QCOMPARE(Column(*dialog, verify_text::kAddress),
                 (std::vector<std::string>{"10.0.0.1", "10.0.0.20", "10.0.0.3"}));
        pressHeader(1);
        QCOMPARE(Column(*dialog, verify_text::kAddress),
                 (std::vector<std::string>{"10.0.0.3", "10.0.0.20", "10.0.0.1"}));
        QCOMPARE(list.SelectedRow(), std::optional<size_t>(0));

        // Delete follows the row, not its former place.
        boxes_->Queue(MessageAnswer::Ok);
        dialog->DeleteButton()->click();
        QCOMPARE(boxes_->Texts(),
                 (std::vector<std::string>{"Would you like to delete the VCQ-X99(10.0.0.3)?"}));
        QCOMPARE(Column(*dialog, verify_text::kAddress),
                 (std::vector<std::string>{"10.0.0.20", "10.0.0.1"}));
        QCOMPARE(Column(*dialog, verify_text::kId), (std::vector<std::string>{"001", "002"}));
        QTest::keyClick(&list, Qt::Key_1, Qt::ControlModifier);  // "ID" from the keyboard
        QCOMPARE(Column(*dialog, verify_text::kId), (std::vector<std::string>{"002", "001"}));
    }

    void doubleClickOpensTheCameraPageWithItsPort() {
        auto dialog = Open(0);
        Paste(*dialog, "10.0.0.1,8080\n10.0.0.2\n");
        VerifyList& list = *dialog->List();
        const QRect first = list.visualRect(list.model()->index(0, 1));
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, first.center());
        const QRect second = list.visualRect(list.model()->index(1, 1));
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, second.center());
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {},
                           second.center() + QPoint(0, 3 * second.height()));
        QCOMPARE(opened_, (QList<QUrl>{QUrl("http://10.0.0.1:8080/"), QUrl("http://10.0.0.2/")}));
        WaitJudged(*dialog);
    }

    void refusedImportsAddNothing() {
        auto dialog = Open(0);
        Paste(*dialog, "10.0.0.1\r\n10.0.0.2 # office\r\n");
        QCOMPARE(boxes_->Texts(),
                 (std::vector<std::string>{"Invalid format.\r\nLine002:>10.0.0.2 # office"}));
        Paste(*dialog, "10.0.0.1\r\n10.0.0.300\r\n");
        QCOMPARE(boxes_->Texts().size(), size_t(2));
        QVERIFY(boxes_->Texts()[1].starts_with("Invalid address or port number."));
        Paste(*dialog, "");  // nothing on the clipboard: no message
        AddCamerasDialog::SetFileChooser(
            [this](QWidget*) { return temp_.filePath("no such file.txt"); });
        dialog->LoadCsvButton()->click();
        AddCamerasDialog::SetFileChooser([](QWidget*) { return QString(); });  // chooser cancelled
        dialog->LoadCsvButton()->click();
        QCOMPARE(boxes_->Texts().size(), size_t(2));
        QCOMPARE(dialog->State().RowCount(), size_t(0));
        QCOMPARE(dialog->Counter()->text(), QString("256/256"));
        QVERIFY(dialog->PasteButton()->isEnabled());
    }
};

QTEST_MAIN(AddCamerasTest)
#include "add_cameras_test.moc"
