// The entry terminals dialog over an in-memory owner list, and the upgrade
// log dialog, on the offscreen platform. No network.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QtTest>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>

#include "entry_list_fake.h"
#include "wizard/beep.h"
#include "wizard/entry_terminals_dialog.h"
#include "wizard/main_window.h"
#include "wizard/upgrade_log_dialog.h"
#include "wizard_support.h"

using namespace vcq;
using namespace vcq::ui;
using vcq::test::EntryListFake;
using vcq::test::ScriptedPresenter;

namespace {

constexpr const char* kBadAddress = "Input the correct IP address of the target camera.";
constexpr const char* kBadPort = "Input the correct port No. of the target camera.";
constexpr const char* kRemove = "Would you like to remove this camera?";

std::string LongLog(int cameras) {
    std::string log;
    for (int i = 0; i < cameras; ++i) {
        log += "VCQ-R20(192.168.0." + std::to_string(i + 1) + ") Completed successfully.\r\n";
        log += "VCQ-R20(DHCP:10.0.0." + std::to_string(i + 1) + ") Login error.\r\n";
    }
    return log;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<ScriptedPresenter> boxes_;
    int beeps_ = 0;

    void Type(EntryTerminalsDialog& d, const QString& address, const QString& customPort = {}) {
        d.Address()->SetText(address);
        if (customPort.isEmpty()) {
            d.Port80Button()->click();
        } else {
            d.CustomPortButton()->click();
            d.PortEdit()->setText(customPort);
        }
    }

    void ExpectBox(const char* text, MessageIcon icon, MessageButtons buttons) {
        QCOMPARE(boxes_->Boxes().size(), size_t(1));
        const MessageRequest& box = boxes_->Boxes()[0].request;
        QCOMPARE(box.text, std::string(text));
        QCOMPARE(box.caption, std::string("Information"));
        QCOMPARE(box.icon, icon);
        QCOMPARE(box.buttons, buttons);
        boxes_->Clear();
    }

  private slots:
    void init() {
        boxes_ = std::make_unique<ScriptedPresenter>();
        beeps_ = 0;
        SetBeepHook([this] { ++beeps_; });
    }
    void cleanup() {
        SetBeepHook(nullptr);
        boxes_.reset();
    }

    void roomForOneCamera() {
        EntryListFake list(1);
        list.AppendBlank();
        EntryTerminalsDialog d(list, 1, 0);
        d.show();
        QCOMPARE(d.windowTitle(), QString("Entry terminals"));
        QCOMPARE(d.Counter()->text(), QString("1/1"));
        QVERIFY(!d.AddButton()->isEnabled());
        QVERIFY(d.NextButton()->isEnabled());
        QVERIFY(!d.PrevButton()->isEnabled());

        Type(d, "10.0.0.5");
        d.NextButton()->click();
        QCOMPARE(beeps_, 1);
        QCOMPARE(d.Position(), 0);
        QVERIFY(boxes_->Boxes().empty());
        QVERIFY(list.IsQueued(0));
        QCOMPARE(list.RowCount(), 1);
        QVERIFY(!d.NextButton()->isEnabled());
        QVERIFY(!d.AddButton()->isEnabled());
        QVERIFY(d.DelButton()->isEnabled());
        QCOMPARE(d.Address()->Text(), std::string("10.0.0.5"));
    }

    void deleteOfTheOnlyEntry() {
        EntryListFake list(5);
        list.Queue({{10, 0, 0, 1}, 8080});
        EntryTerminalsDialog d(list, 5, 0);
        d.show();
        QVERIFY(d.CustomPortButton()->isChecked());
        QCOMPARE(d.PortEdit()->text(), QString("8080"));

        boxes_->Queue(MessageAnswer::Cancel);
        d.DelButton()->click();
        ExpectBox(kRemove, MessageIcon::Question, MessageButtons::OkCancel);
        QVERIFY(list.IsQueued(0));

        boxes_->Queue(MessageAnswer::Ok);
        d.DelButton()->click();
        ExpectBox(kRemove, MessageIcon::Question, MessageButtons::OkCancel);
        QCOMPARE(list.RowCount(), 1);
        QVERIFY(!list.IsQueued(0));
        QCOMPARE(d.Position(), 0);
        QCOMPARE(d.Counter()->text(), QString("1/5"));
        QVERIFY(!d.DelButton()->isEnabled());
        QVERIFY(!d.PrevButton()->isEnabled());
        // The blank entry starts with the last address entered.
        QCOMPARE(d.Address()->Text(), std::string("10.0.0.1"));
    }

    void customPort1023() {
        EntryListFake list(5);
        list.AppendBlank();
        EntryTerminalsDialog d(list, 5, 0);
        d.show();
        QVERIFY(d.Port80Button()->isChecked());
        QCOMPARE(d.PortEdit()->text(), QString("1024"));
        QVERIFY(!d.PortEdit()->isEnabled());

        d.CustomPortButton()->click();
        QVERIFY(d.PortEdit()->isEnabled());
        d.PortEdit()->setText("1023");
        d.NextButton()->click();
        ExpectBox(kBadPort, MessageIcon::Exclamation, MessageButtons::Ok);
        QCOMPARE(d.focusWidget(), static_cast<QWidget*>(d.PortEdit()));
        QCOMPARE(d.Position(), 0);
        QCOMPARE(list.commits, 0);

        // Back to "80": the edit is off and no longer read.
        d.Port80Button()->click();
        QVERIFY(!d.PortEdit()->isEnabled());
        d.NextButton()->click();
        QVERIFY(boxes_->Boxes().empty());
        QCOMPARE(d.Position(), 1);
        QCOMPARE(list.rows[0].address.port, 80);
    }

    void addressIsCheckedBeforeThePort() {
        EntryListFake list(5);
        list.AppendBlank();
        EntryTerminalsDialog d(list, 5, 0);
        d.show();
        Type(d, "", "1023");
        d.AddButton()->click();
        ExpectBox(kBadAddress, MessageIcon::Exclamation, MessageButtons::Ok);
        QCOMPARE(d.focusWidget(), static_cast<QWidget*>(d.Address()->Field(0)));

        Type(d, "", "8080");
        d.NextButton()->click();
        ExpectBox(kBadAddress, MessageIcon::Exclamation, MessageButtons::Ok);
        QCOMPARE(list.RowCount(), 1);
        QCOMPARE(list.commits, 0);
    }

    void okStoresAndCloseDiscards() {
        EntryListFake list(5);
        list.AppendBlank();
        {
            EntryTerminalsDialog d(list, 5, 0);
            d.show();
            Type(d, "10.0.0.1");
            d.NextButton()->click();  // stored
            Type(d, "10.0.0.2", "8080");
            d.CloseButton()->click();  // not stored
            QCOMPARE(d.result(), int(QDialog::Rejected));
        }
        QCOMPARE(list.RowCount(), 2);
        QCOMPARE(list.rows[0].address, (targets::EntryAddress{{10, 0, 0, 1}, 80}));
        QVERIFY(!list.IsQueued(1));

        EntryTerminalsDialog d(list, 5, 1);
        d.show();
        Type(d, "10.0.0.2", "8080");
        d.OkButton()->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(list.rows[1].address, (targets::EntryAddress{{10, 0, 0, 2}, 8080}));
        QVERIFY(list.IsQueued(1));
    }

    void enterInAnEditIsNext() {
        EntryListFake list(5);
        list.AppendBlank();
        EntryTerminalsDialog d(list, 5, 0);
        d.show();
        Type(d, "10.0.0.3");
        QTest::keyClick(d.Address()->Field(3), Qt::Key_Return);
        QCOMPARE(d.Position(), 1);
        QVERIFY(list.IsQueued(0));
        QVERIFY(d.isVisible());
        QCOMPARE(d.Counter()->text(), QString("2/5"));
    }

    void logShownFromItsFirstLine() {
        UpgradeLogDialog d(LongLog(100));
        d.show();
        // Whatever moves the view before the dialog's timer runs (it cannot
        // run before the event loop does), the timer puts it back.
        d.Edit()->verticalScrollBar()->setValue(d.Edit()->verticalScrollBar()->maximum());
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QCOMPARE(d.windowTitle(), QString("Upgrade log"));
        QVERIFY(d.Edit()->verticalScrollBar()->maximum() > 0);
        QTRY_COMPARE(d.Edit()->verticalScrollBar()->value(), 0);
        QVERIFY(!d.Edit()->textCursor().hasSelection());
        QCOMPARE(d.Edit()->textCursor().position(), 0);
        QVERIFY(d.Edit()->isReadOnly());
        QCOMPARE(d.Edit()->palette().color(QPalette::Base), QColor(Qt::white));
        QTest::keyClick(d.Edit(), Qt::Key_Return);  // kept by the edit
        QVERIFY(d.isVisible());
        QVERIFY(d.Edit()->toPlainText().startsWith(
            "VCQ-R20(192.168.0.1) Completed successfully.\nVCQ-R20(DHCP:10.0.0.1) Login"));
    }

    void emptyLog() {
        UpgradeLogDialog d("");
        d.show();
        QVERIFY(d.Edit()->toPlainText().isEmpty());
        QVERIFY(!d.SaveButton()->isEnabled());
        QVERIFY(!d.CopyButton()->isEnabled());
        d.CloseButton()->click();
        QCOMPARE(d.result(), int(QDialog::Rejected));
    }

    void fileNoteSaysWhereTheLogIsKeptOrWhyNot() {
        struct Case {
            QString path, error;
            bool shown;
            QString says;
        };
        const Case cases[] = {
            {"/pf/Configurations/2612090012/upgrade-log.txt", "", true,
             "/pf/Configurations/2612090012/upgrade-log.txt"},
            {"", "Permission denied", true, "Permission denied"},
            {"", "", false, ""},
        };
        for (const Case& c : cases) {
            UpgradeLogDialog d("A(1.2.3.4) Login error.\r\n");
            d.SetFileNote(c.path, c.error);
            d.show();
            QCOMPARE(!d.FileNote()->isHidden(), c.shown);
            QVERIFY(d.FileNote()->text().contains(QDir::toNativeSeparators(c.says)));
            QVERIFY(d.FileNote()->textInteractionFlags() & Qt::TextSelectableByKeyboard);
            QVERIFY(!d.FileNote()->accessibleName().isEmpty());
            if (!c.shown)
                continue;
            // Tab from the log reaches the note, where the path can be selected.
            d.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&d));
            d.Edit()->setFocus();
            QTest::keyClick(d.Edit(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.FileNote()));
        }
    }

    void saveWritesTheBytesShown() {
        QTemporaryDir temp;
        const std::string log =
            "VCQ-R20(192.168.0.10) Completed successfully.\r\n"
            "VCQ-R20(DHCP:192.168.0.11:8080) Ftp error.\r\n"
            "VCQ-R20(192.168.0.12) Upgrade sequence error.\r\n";
        UpgradeLogDialog d(log);
        const QString path = temp.filePath("log.txt");
        QString suggested;
        d.SetFileChooser([&](QWidget*, const QString& name) {
            suggested = name;
            return path;
        });
        d.SaveButton()->click();
        QVERIFY(suggested.endsWith(".txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray::fromStdString(log));
        file.close();

        // An empty answer saves nothing.
        QFile::remove(path);
        d.SetFileChooser([](QWidget*, const QString&) { return QString(); });
        d.SaveButton()->click();
        QVERIFY(!QFile::exists(path));
        QVERIFY(boxes_->Boxes().empty());

        // Lines that end in LF alone are filed with CR LF too.
        UpgradeLogDialog lf("A(1.2.3.4) Login error.\nB(1.2.3.5) Ftp error.\n");
        QVERIFY(lf.SaveTo(path));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 QByteArray("A(1.2.3.4) Login error.\r\nB(1.2.3.5) Ftp error.\r\n"));
    }

    void failedSaveTellsAndKeepsTheOldFile() {
        QTemporaryDir temp;
        UpgradeLogDialog d(LongLog(3));

        // A folder that is a file.
        QFile blocker(temp.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!d.SaveTo(temp.filePath("blocker/log.txt")));
        QCOMPARE(boxes_->Boxes().size(), size_t(1));
        const MessageRequest box = boxes_->Boxes()[0].request;
        QCOMPARE(box.caption, std::string("Error"));
        QCOMPARE(box.icon, MessageIcon::Stop);
        QVERIFY(QString::fromStdString(box.text).startsWith("Cannot save the upgrade log to"));
        boxes_->Clear();

#ifndef _WIN32  // a file size limit stands in for a full disk; Windows has none
        // The disk fills up while the log is written: the earlier log stays whole.
        const QString path = temp.filePath("log.txt");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier log\r\n");
        old.close();
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 100;
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        const bool saved_ok = d.SaveTo(path);
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, SIG_DFL);
        QVERIFY(!saved_ok);
        QCOMPARE(boxes_->Boxes().size(), size_t(1));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("earlier log\r\n"));
        QCOMPARE(QDir(temp.path()).entryList(QDir::Files), QStringList({"blocker", "log.txt"}));
#endif
    }

    // Typing into the address control key by key, on the manual target page
    // (0) and in the entry terminals dialog (1), from 192.168.0.100 with the
    // first field selected as either leaves it. "\b" is Backspace, "\x16"
    // pastes the clipboard. An empty `address` means the operator is told
    // the address is wrong and nothing goes on.
    void addressTyping_data() {
        QTest::addColumn<int>("surface");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("refusedWhileTyping");
        struct Row {
            const char* name;
            const char* keys;
            const char* clipboard;
            const char* address;
            int refused;
        };
        const Row rows[] = {
            {"dots after digits", "192.168.0.55", "", "192.168.0.55", 0},
            {"full fields move on once", "192168000055", "", "192.168.0.55", 0},
            {"short fields", "1.2.3.4", "", "1.2.3.4", 0},
            {"top of the range", "255.255.255.255", "", "255.255.255.255", 0},
            {"above 255 is refused, not wrapped", "10.0.0.300", "", "", 1},
            {"above 255 in a full first field", "256", "", "", 1},
            {"backspace across fields", "10.0.0.25\b\b\b\b7.9", "", "10.0.7.9", 0},
            {"paste of a whole address", "\x16", " 10.20.30.40\n", "10.20.30.40", 0},
            {"paste, then edit the last field", "\x16\b5", "10.20.30.40", "10.20.30.45", 0},
            {"paste of a wrong address changes nothing", "\x16", "10.0.0.300", "192.168.0.100", 0},
        };
        for (int surface : {0, 1}) {
            for (const Row& row : rows) {
                QTest::addRow("%s %s", surface == 0 ? "page:" : "dialog:", row.name)
                    << surface << QString(row.keys) << QString(row.clipboard)
                    << QString(row.address) << row.refused;
            }
        }
    }

    void addressTyping() {
        QFETCH(int, surface);
        QFETCH(QString, keys);
        QFETCH(QString, clipboard);
        QFETCH(QString, address);
        QFETCH(int, refusedWhileTyping);
        QApplication::clipboard()->setText(clipboard);

        QTemporaryDir temp;
        std::unique_ptr<MainWindow> wizard;
        EntryListFake list(5);
        std::unique_ptr<EntryTerminalsDialog> dialog;
        AddressEdit* edit = nullptr;
        if (surface == 0) {
            wizard = vcq::test::OpenWizard(*boxes_, temp.path(), false);
            wizard->NextButton()->click();
            wizard->Agreement()->AgreeButton()->click();
            wizard->NextButton()->click();
            wizard->Mode()->ManualButton()->click();
            wizard->NextButton()->click();
            wizard->Target()->NameEdit()->setText("admin");
            wizard->Target()->PasswordEdit()->setText("secret");
            edit = wizard->Target()->Address();
        } else {
            list.Queue({{192, 168, 0, 100}, 80});
            dialog = std::make_unique<EntryTerminalsDialog>(list, 5, 0);
            dialog->show();
            QApplication::setActiveWindow(dialog.get());
            QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
            list.commits = 0;
            edit = dialog->Address();
        }
        QVERIFY(edit->Field(0)->hasFocus());
        QCOMPARE(edit->Field(0)->selectedText(), QString("192"));

        for (QChar key : keys) {
            QWidget* focus = QApplication::focusWidget();
            if (key == '\b')
                QTest::keyClick(focus, Qt::Key_Backspace);
            else if (key == '\x16')
                QTest::keySequence(focus, QKeySequence::Paste);
            else
                QTest::keyClicks(focus, QString(key));
        }
        QCOMPARE(int(boxes_->Boxes().size()), refusedWhileTyping);
        for (const vcq::test::ShownBox& box : boxes_->Boxes())
            QCOMPARE(box.request.text, std::string(kBadAddress));
        boxes_->Clear();

        if (surface == 0) {
            const bool accepted = wizard->Target()->Validate();
            QCOMPARE(accepted, !address.isEmpty());
            if (accepted)
                QCOMPARE(QString::fromStdString(wizard->Target()->GetHostText()), address);
        } else {
            dialog->OkButton()->click();
            QCOMPARE(list.commits, address.isEmpty() ? 0 : 1);
            if (!address.isEmpty()) {
                const auto& ip = list.rows[0].address.ip;
                QCOMPARE(QString("%1.%2.%3.%4").arg(ip[0]).arg(ip[1]).arg(ip[2]).arg(ip[3]),
                         address);
            }
        }
        if (address.isEmpty()) {
            QCOMPARE(boxes_->Texts(), std::vector<std::string>{kBadAddress});
            QVERIFY(QApplication::focusWidget() == edit->Field(edit->OutOfRangeField()));
        }
    }

    void copyPutsTheWholeLogOnTheClipboard() {
        UpgradeLogDialog d("A(1.2.3.4) Login error.\r\nB(1.2.3.5) Ftp error.\r\n");
        d.Edit()->selectAll();  // a selection does not narrow the copy
        QGuiApplication::clipboard()->clear();
        d.CopyButton()->click();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QString("A(1.2.3.4) Login error.\nB(1.2.3.5) Ftp error.\n"));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    DialogsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "dialogs_test.moc"
