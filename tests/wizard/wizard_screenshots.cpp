// Renders the wizard's pages in their usual states, and the message boxes of
// the manual path, to PNG files. Runs offscreen inside tests/isolated (the
// stand-in cameras listen on port 80): see scripts/screenshots.
//
//   wizard_screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QMessageBox>
#include <QPainter>
#include <QStackedWidget>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <map>

#include "command_line.h"
#include "entry_list_fake.h"
#include "sim_records.h"
#include "simulator.h"
#include "wizard/add_cameras_dialog.h"
#include "wizard/entry_terminals_dialog.h"
#include "wizard/lists/login_dialogs.h"
#include "wizard/lists/verify_list.h"
#include "wizard/message_presenter.h"
#include "wizard/upgrade_log_dialog.h"
#include "wizard_support.h"

using namespace vcq;
using namespace vcq::ui;

namespace {

QString g_folder;
int g_count = 0;

QString Slug(const std::string& text) {
    QString slug = QString::fromStdString(text).toLower();
    slug.replace(QRegularExpression("[^a-z0-9]+"), "-");
    return slug.left(40).remove(QRegularExpression("^-+|-+$"));
}

void Save(QWidget& widget, const QString& name) {
    QApplication::processEvents();
    const QString path =
        QString("%1/%2-%3.png").arg(g_folder).arg(++g_count, 2, 10, QChar('0')).arg(name);
    if (!widget.grab().save(path))
        std::fprintf(stderr, "wizard_screenshots: cannot write %s\n", qPrintable(path));
}

// Offscreen windows have no frame: draw the caption above the picture so
// the review sees it.
void SaveWithCaption(QWidget& widget, const QString& caption, const QString& name) {
    QApplication::processEvents();
    QPixmap body = widget.grab();
    const int bar = widget.fontMetrics().height() + 10;
    QPixmap framed(body.width(), body.height() + bar);
    framed.fill(QColor(10, 36, 106));
    QPainter painter(&framed);
    painter.drawPixmap(0, bar, body);
    painter.setPen(Qt::white);
    painter.drawText(QRect(8, 0, body.width() - 16, bar), Qt::AlignVCenter | Qt::AlignLeft,
                     caption);
    painter.end();
    const QString path =
        QString("%1/%2-%3.png").arg(g_folder).arg(++g_count, 2, 10, QChar('0')).arg(name);
    if (!framed.save(path))
        std::fprintf(stderr, "wizard_screenshots: cannot write %s\n", qPrintable(path));
}

// A click, and the camera check it may start: the wait cursor is on until it ends.
void Click(QAbstractButton* button) {
    button->click();
    QApplication::processEvents();
    if (!QTest::qWaitFor([] { return !QApplication::overrideCursor(); }, 30000))
        std::fprintf(stderr, "wizard_screenshots: a camera check did not end\n");
}

// Twenty detected cameras: some unticked, one without a password, some
// verified and one refused; then both login dialogs and the duplicate message.
void AutomaticTargetPage(MainWindow& w) {
    for (int i = 0; i < 20; ++i) {
        CameraRecord record;
        std::snprintf(record.mac, sizeof record.mac, "08-00-46-1A-2B-%02X", 0x10 + i);
        std::snprintf(record.model, sizeof record.model, "%s", i % 7 == 3 ? "VCQ-R20W" : "VCQ-R20");
        std::snprintf(record.serial, sizeof record.serial, "%08d", 20070 + i * 13);
        std::snprintf(record.softVersion, sizeof record.softVersion, "%s", i % 4 ? "1.05" : "1.06");
        const uint8_t ip[4] = {192, 168, 0, static_cast<uint8_t>(20 + i)};
        std::memcpy(record.ip, ip, 4);
        record.webPort = i == 6 ? 8080 : 80;
        record.dhcp = i == 11;
        w.Table().Store(record);
    }
    Click(w.BackButton());
    Click(w.Mode()->AutomaticButton());
    Click(w.NextButton());
    TargetCameraPage* page = w.AutoTarget();
    CameraListView* list = page->List();
    for (int row = 0; row < list->Count(); ++row)
        list->SetLogin(row, "admin", row == 4 ? "" : "admin");
    for (int row : {9, 12, 15})
        list->Rows().MutableRow(row).ticked = 0;
    for (int row : {1, 2, 5, 8})
        list->Rows().MutableRow(row).status = status::kVerified;
    list->Rows().MutableRow(7).status = status::kFailed;
    list->Model().RowsChanged();
    emit list->LoginsChanged();
    list->clearSelection();
    list->selectionModel()->select(list->Model().index(3, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list->selectionModel()->setCurrentIndex(list->Model().index(3, 0),
                                            QItemSelectionModel::NoUpdate);
    list->setFocus();
    Save(w, "auto-target");
    Click(page->RevealButton());
    QTest::qWait(200);
    Save(w, "auto-target-revealed");

    {
        SingleLoginDialog dialog(list, &w);
        dialog.show();
        SaveWithCaption(dialog, dialog.windowTitle(), "single-login");
    }
    list->selectionModel()->select(list->Model().index(4, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    {
        BatchLoginDialog dialog(list, &w);
        dialog.show();
        SaveWithCaption(dialog, dialog.windowTitle(), "batch-login");
    }
    // Cameras added by hand, judged: one twice (amber), one already detected
    // (pink), one of another model and one silent (grey).
    {
        AddCamerasDialog dialog(list, w.Workspace()->models, test::ShortLimits(), &w);
        dialog.State().List().SetExchange([](const std::string& host) {
            const std::map<std::string, std::string> models = {{"10.1.0.5", "VCQ-R20"},
                                                               {"10.1.0.6", "VCQ-X99"},
                                                               {"10.1.0.8", "VCQ-R20N"},
                                                               {"192.168.0.21", "VCQ-R20"},
                                                               {"10.1.0.9:8080", "VCQ-R20"}};
            auto found = models.find(host);
            if (found == models.end())
                return JobReply{true, "", ""};
            const std::string body = "ModelName=" + found->second + "&Serial=2007" +
                                     std::to_string(host.size()) + "&SoftVersion=1.05";
            return JobReply{true,
                            "HTTP/1.1 200 OK\r\nServer: VCQCAM/1.05\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body,
                            ""};
        });
        QGuiApplication::clipboard()->setText(
            "10.1.0.5\r\n10.1.0.6\r\n10.1.0.7\r\n10.1.0.8\r\n10.1.0.8\r\n192.168.0.21\r\n"
            "10.1.0.9,8080\r\n");
        dialog.show();
        Click(dialog.PasteButton());
        if (!QTest::qWaitFor([&] { return dialog.OkButton()->isEnabled(); }, 10000))
            std::fprintf(stderr, "wizard_screenshots: the added cameras were not judged\n");
        dialog.List()->SelectRow(0);
        emit dialog.List()->UserSelected();
        SaveWithCaption(dialog, dialog.windowTitle(), "add-other-cameras");
        QGuiApplication::clipboard()->clear();
    }
    // Two cameras on one address.
    list->Rows().MutableRow(13).ip = list->Rows().Row(2).ip;
    list->CheckDuplicateAddresses();
}

// A wizard of its own shown, and a fleet of stand-in cameras for it.
struct BatchWizard {
    BatchWizard(const WizardOptions& options, test::ScriptedPresenter& boxes)
        : w(options), fleet(FleetOptions()) {
        boxes.window = &w;
        w.show();
        [[maybe_unused]] bool exposed = QTest::qWaitForWindowExposed(&w);
    }
    static sim::SimulatorOptions FleetOptions() {
        sim::SimulatorOptions options;
        options.ftp = true;
        return options;
    }

    // Cameras shaped by `shapes` (numbered from `first`), all with the login
    // admin:admin, listed and on the batch page; the `dhcp`th one by DHCP.
    void ToBatchPage(int first, const std::vector<std::string>& shapes, int dhcp = -1) {
        for (int i = 0; i < static_cast<int>(shapes.size()); ++i) {
            sim::CameraConfig config = sim::DefaultCamera(first + i);
            config.rebootDowntime = std::chrono::milliseconds(300);
            std::string error;
            if (!sim::ApplyCameraSettings(shapes[static_cast<size_t>(i)], config, error) ||
                !fleet.AddCamera(config, &error))
                qFatal("stand-in camera: %s", error.c_str());
            w.Table().Store(test::RecordOf(config, i == dhcp));
        }
        Click(w.NextButton());
        Click(w.Agreement()->AgreeButton());
        Click(w.NextButton());
        Click(w.Mode()->AutomaticButton());
        Click(w.NextButton());
        CameraListView* detected = w.AutoTarget()->List();
        for (int row = 0; row < detected->Count(); ++row)
            detected->SetLogin(row, "admin", "admin");
        emit detected->LoginsChanged();
        Click(w.NextButton());
    }

    MainWindow w;
    sim::Simulator fleet;
};

// Automatic mode in a wizard of its own: a batch of stand-in cameras ready,
// caught mid-run with mixed outcomes, after Abort at its end (Finish), and
// its log. The second camera refuses the login, the third reboots slowly,
// the fourth uploads slowly.
void BatchPages(const WizardOptions& options, test::ScriptedPresenter& boxes) {
    BatchWizard wizard(options, boxes);
    MainWindow& w = wizard.w;
    wizard.ToBatchPage(
        10, {"", "admin=admin:other", "reboot=6000", "ftp-rate=40000", "port=8080", "", "", ""}, 2);
    BatchUpgradePage* batch = w.Batch();
    Save(w, "batch-ready");
    batch->SetLogShower([&](QWidget* parent, const std::string& log) {
        Save(w, "batch-finish");
        UpgradeLogDialog dialog(log, parent);
        dialog.show();
        QTest::qWait(50);
        SaveWithCaption(dialog, dialog.windowTitle(), "batch-log");
    });
    boxes.Queue(MessageAnswer::Ok);
    Click(w.NextButton());
    BatchUpgradeList* rows = batch->List();
    auto midRun = [&] {
        return rows->Row(0).statusText == "Completed" &&
               rows->Row(1).statusText.rfind("Error", 0) == 0 &&
               rows->Row(3).statusText != "Standby" && rows->Row(3).progress > 0 &&
               rows->Row(7).statusText == "Standby";
    };
    if (!QTest::qWaitFor(midRun, 60000))
        std::fprintf(stderr, "wizard_screenshots: the batch never reached its mixed state\n");
    Save(w, "batch-running");
    Click(w.NextButton());  // Abort: the fourth finishes, the rest are dropped
    if (!QTest::qWaitFor([&] { return batch->LogsShown() == 1; }, 90000))
        std::fprintf(stderr, "wizard_screenshots: the batch did not end\n");

    w.CancelButton()->click();  // Finish
    boxes.window = nullptr;
}

// A batch at its end, every camera's end readable on the page: one
// completed, one refusing the login, one refusing its configuration back.
void EndedBatchPage(const WizardOptions& options, test::ScriptedPresenter& boxes) {
    BatchWizard wizard(options, boxes);
    MainWindow& w = wizard.w;
    wizard.ToBatchPage(20, {"", "admin=admin:other", "restore=refuse"});
    BatchUpgradePage* batch = w.Batch();
    batch->SetLogShower([](QWidget*, const std::string&) {});
    boxes.Queue(MessageAnswer::Ok);
    Click(w.NextButton());
    if (!QTest::qWaitFor([&] { return batch->LogsShown() == 1; }, 90000))
        std::fprintf(stderr, "wizard_screenshots: the ended batch did not end\n");
    // The failed row selected, as for "Access setting..." and a retry.
    batch->List()->selectionModel()->select(
        batch->List()->model()->index(1, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QTest::qWait(50);
    Save(w, "batch-ended");
    w.CancelButton()->click();  // Finish
    boxes.window = nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: wizard_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    g_folder = argv[1];
    QDir().mkpath(g_folder);
    if (!test::InsideIsolatedNetwork()) {
        std::fprintf(stderr, "wizard_screenshots: run it through tests/isolated\n");
        return 77;
    }
    QTemporaryDir temp;
    qputenv("ProgramFiles", (temp.path() + "/pf").toUtf8());

    // Stand-in cameras: a good one, one on 3.x, one on 1.08.
    sim::Simulator cameras;
    auto add = [&](const char* address, const char* version) {
        sim::CameraConfig config;
        config.address = address;
        config.softVersion = version;
        std::string error;
        if (!cameras.AddCamera(config, &error))
            qFatal("stand-in camera: %s", error.c_str());
    };
    add("127.0.0.2", "1.05");
    add("127.0.0.3", "3.10");
    add("127.0.0.4", "1.08");

    test::ScriptedPresenter boxes;
    boxes.onShow = [](QWidget* parent, const MessageRequest& request) {
        std::unique_ptr<QMessageBox> box(BuildMessageBox(parent, request));
        box->show();
        SaveWithCaption(*box, box->windowTitle(), "box-" + Slug(request.text));
    };

    WizardOptions options;
    options.discovery = false;
    options.tempFolder = temp.path().toStdString();
    options.limits = test::ShortLimits();
    MainWindow w(options);
    boxes.window = &w;
    w.show();
    [[maybe_unused]] bool exposed = QTest::qWaitForWindowExposed(&w);

    SaveWithCaption(w, w.windowTitle(), "title");
    Click(w.NextButton());
    Save(w, "agreement");
    Click(w.Agreement()->AgreeButton());
    Save(w, "agreement-agreed");
    Click(w.NextButton());
    Save(w, "mode");
    Click(w.Mode()->ManualButton());
    Click(w.NextButton());
    Save(w, "target");

    TargetEntryPage* target = w.Target();
    target->NameEdit()->setText("admin");
    Click(w.NextButton());  // no password: refused
    target->Address()->SetText("127.0.0.3");
    target->PasswordEdit()->setText("admin");
    Click(w.NextButton());  // 3.x: refused
    target->Address()->SetText("127.0.0.4");
    boxes.Queue(MessageAnswer::Cancel);
    Click(w.NextButton());  // 1.08: reset question, Cancel
    target->Address()->SetText("127.0.0.2");
    target->PasswordEdit()->setText("wrong");
    Click(w.NextButton());  // login refused
    target->PasswordEdit()->setText("admin");
    Click(target->CustomPortButton());
    target->PortEdit()->setText("8080");
    Click(target->BackupBox());
    Save(w, "target-filled");
    Click(target->Port80Button());

    Click(w.NextButton());
    Save(w, "version");

    // The upgrade runs until the transfer, which the stand-in refuses.
    boxes.Queue(MessageAnswer::Ok);
    Click(w.NextButton());
    Save(w, "progress");
    if (!QTest::qWaitFor([&] { return w.PageIndex() == 3; }, 30000))
        std::fprintf(stderr, "wizard_screenshots: the upgrade did not return to the target page\n");

    // The result page as a completed upgrade leaves it.
    auto* stack = w.findChild<QStackedWidget*>();
    w.Result()->SetAddressText("127.0.0.2");
    w.Result()->SetResultVersion(QString::fromStdString(w.VersionLabel()));
    stack->setCurrentWidget(w.Result());
    w.BackButton()->setText("&Re-try");
    w.NextButton()->setEnabled(false);
    w.CancelButton()->setText("&Finish");
    Save(w, "result");
    w.BackButton()->setText("< &Back");
    w.CancelButton()->setText("Cancel");
    w.NextButton()->setEnabled(true);
    stack->setCurrentWidget(w.Target());

    // The running upgrade, as the tick shows it.
    stack->setCurrentWidget(w.Progress());
    w.Progress()->SetStatusLine("Version up is in progress. Do not turn off the power.");
    w.Progress()->ShowStep(2);
    w.Progress()->Bar()->setRange(0, 10000);
    w.Progress()->Bar()->setValue(4200);
    for (QAbstractButton* b : {w.BackButton(), w.NextButton(), w.CancelButton()})
        b->setEnabled(false);
    Save(w, "progress-uploading");
    for (QAbstractButton* b : {w.BackButton(), w.NextButton(), w.CancelButton()})
        b->setEnabled(true);
    stack->setCurrentWidget(w.Target());

    // The entry terminals dialog on the second of three typed cameras, then
    // its port message.
    test::EntryListFake entries(6);
    entries.Queue({{192, 168, 0, 10}, 80});
    entries.Queue({{192, 168, 10, 11}, 8080});
    entries.Queue({{192, 168, 20, 12}, 80});
    entries.selected = 1;
    {
        EntryTerminalsDialog terminals(entries, 6, 1, &w);
        terminals.show();
        SaveWithCaption(terminals, terminals.windowTitle(), "entry-terminals");
        terminals.PortEdit()->setText("1023");
        Click(terminals.NextButton());
    }

    // The log of a batch with faults, longer than the edit.
    std::string log;
    const char* results[] = {"Completed successfully.", "Login error.", "Completed successfully.",
                             "Network error (missing target).", "Ftp error."};
    for (int i = 0; i < 30; ++i) {
        log += std::string(i % 4 == 1 ? "VCQ-R20(DHCP:" : "VCQ-R20(") + "192.168.0." +
               std::to_string(10 + i) + ") " + results[i % 5] + "\r\n";
    }
    {
        UpgradeLogDialog upgradeLog(log, &w);
        upgradeLog.show();
        QTest::qWait(50);
        SaveWithCaption(upgradeLog, upgradeLog.windowTitle(), "upgrade-log");
    }

    boxes.Queue(MessageAnswer::No);
    w.reject();  // the quit question

    AutomaticTargetPage(w);
    w.hide();
    BatchPages(options, boxes);
    EndedBatchPage(options, boxes);

    std::printf("%d pictures in %s\n", g_count, qPrintable(g_folder));
    return 0;
}
