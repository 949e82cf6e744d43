// The target camera page of automatic mode inside the wizard, against
// stand-in cameras in the isolated network: discovery filling the list, the
// counter, the duplicate-address block, Select all, the choice of login
// dialog, "Testing..." with a camera that never answers, and the reveal
// animation.
#include <QApplication>
#include <QElapsedTimer>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>

#include "simulator.h"
#include "wizard/lists/login_dialogs.h"
#include "wizard_support.h"

using namespace vcq;
using namespace vcq::ui;
using namespace std::chrono_literals;
using vcq::test::OnNextDialog;
using vcq::test::ScriptedPresenter;

namespace {

template <size_t N>
void Copy(char (&field)[N], const char* text) {
    std::snprintf(field, N, "%s", text);
}

CameraRecord Record(const char* mac, Ipv4 ip, int32_t port = 80, bool dhcp = false) {
    CameraRecord record;
    Copy(record.mac, mac);
    Copy(record.model, "VCQ-R20");
    Copy(record.serial, "10000001");
    Copy(record.softVersion, "1.05");
    std::memcpy(record.ip, ip.data(), 4);
    record.webPort = port;
    record.dhcp = dhcp;
    return record;
}

}  // namespace

class TargetPageTest : public QObject {
    Q_OBJECT

    QTemporaryDir temp_;
    std::unique_ptr<ScriptedPresenter> boxes_;
    std::unique_ptr<MainWindow> w_;
    std::unique_ptr<sim::Simulator> cameras_;

    MainWindow& Open(bool discovery = false, ExchangeLimits limits = test::ShortLimits()) {
        w_ = test::OpenWizard(*boxes_, temp_.path(), discovery, limits);
        return *w_;
    }

    void ToAutomaticPage(MainWindow& w) {
        w.NextButton()->click();
        w.Agreement()->AgreeButton()->click();
        w.NextButton()->click();
        QVERIFY(w.Mode()->AutomaticButton()->isChecked());
        w.NextButton()->click();
        QCOMPARE(w.PageIndex(), 7);
    }

    void RequireCameras() {
        if (!test::InsideIsolatedNetwork())
            QSKIP("needs the isolated network of tests/isolated (stand-in cameras on port 80)");
    }

    void StartCameras(const std::vector<sim::CameraConfig>& configs, bool discovery = false,
                      std::chrono::milliseconds replyDelay = 0ms) {
        sim::SimulatorOptions options;
        options.discovery = discovery;
        options.discoveryOptions.listen = test::ResponderListen();
        options.discoveryOptions.replyDelay = replyDelay;
        cameras_ = std::make_unique<sim::Simulator>(options);
        std::string error;
        if (!cameras_->AddCameras(configs, &error))
            qFatal("stand-in cameras: %s", error.c_str());
    }

    static sim::CameraConfig Camera(const char* address, const char* mac) {
        sim::CameraConfig config;
        config.address = address;
        config.mac = mac;
        return config;
    }

    void GiveAllLogins(MainWindow& w, const QString& name, const QString& password) {
        TargetCameraPage* page = w.AutoTarget();
        page->SelectAllButton()->click();
        OnNextDialog([&](QDialog& dialog) {
            auto* batch = qobject_cast<BatchLoginDialog*>(&dialog);
            QVERIFY(batch);
            batch->NameEdit()->setText(name);
            batch->PasswordEdit()->setText(password);
            batch->OkButton()->click();
        });
        page->AccessButton()->click();
    }

  private slots:
    void initTestCase() {
        QVERIFY(temp_.isValid());
        QApplication::setStyle(QStyleFactory::create("Fusion"));
        qputenv("ProgramFiles", (temp_.path() + "/pf").toUtf8());
        ListView::SetUrlOpener([](const QUrl&) {});
    }

    void init() { boxes_ = std::make_unique<ScriptedPresenter>(); }

    void cleanup() {
        w_.reset();
        boxes_.reset();
        cameras_.reset();
    }

    void listsTheCamerasCountsThemAndNextFollowsTheLogins() {
        MainWindow& w = Open();
        w.Table().Store(Record("08-00-46-00-00-01", {10, 0, 0, 1}));
        w.Table().Store(Record("08-00-46-00-00-02", {10, 0, 0, 2}, 80, true));
        w.Table().Store(Record("08-00-46-00-00-03", {10, 0, 0, 3}, 8080));
        ToAutomaticPage(w);
        TargetCameraPage* page = w.AutoTarget();
        CameraListView* list = page->List();
        QCOMPARE(page->Counter()->text(), QString("3/256"));
        QCOMPARE(list->Count(), 3);
        QCOMPARE(list->Rows().Row(1).texts[text::kAddress], std::string("DHCP"));
        QCOMPARE(list->Rows().Row(2).texts[text::kAddress], std::string("10.0.0.3:8080"));
        QCOMPARE(list->SelectedRows(), (std::vector<int>{0}));
        QVERIFY(list->hasFocus());
        QVERIFY(page->AccessButton()->isEnabled());
        QVERIFY(!w.NextButton()->isEnabled());
        QVERIFY(w.BackButton()->isEnabled());
        QVERIFY(boxes_->Boxes().empty());

        GiveAllLogins(w, "admin", "admin");
        QVERIFY(w.NextButton()->isEnabled());
        // Unticking every camera leaves nothing to upgrade.
        list->Rows().MutableRow(0).ticked = 0;
        list->Rows().MutableRow(1).ticked = 0;
        list->Rows().MutableRow(2).ticked = 0;
        emit list->LoginsChanged();
        QVERIFY(!w.NextButton()->isEnabled());
        list->Rows().MutableRow(1).ticked = 1;
        emit list->LoginsChanged();
        QVERIFY(w.NextButton()->isEnabled());

        w.NextButton()->click();
        QCOMPARE(w.PageIndex(), 8);
        w.BackButton()->click();
        QCOMPARE(w.PageIndex(), 7);
        QCOMPARE(list->Count(), 3);  // shown again: no row twice
        QCOMPARE(page->Counter()->text(), QString("3/256"));
        QVERIFY(w.NextButton()->isEnabled());
    }

    // Cameras added by "Add other cameras..." count at once, and Next follows
    // the login rule with them: a ticked camera without a login holds it.
    void addedCamerasCountAtOnceAndNextFollowsTheirLogins_data() {
        QTest::addColumn<QStringList>("added");  // "version,name,password" each
        QTest::addColumn<QString>("counter");
        QTest::addColumn<bool>("next");
        QTest::newRow("nothing added") << QStringList{} << "2/256" << true;
        QTest::newRow("ticked, no login") << QStringList{"1.05,,"} << "3/256" << false;
        QTest::newRow("ticked, name only") << QStringList{"1.05,admin,"} << "3/256" << false;
        QTest::newRow("ticked, with login") << QStringList{"1.05,admin,pw"} << "3/256" << true;
        QTest::newRow("unticked (1.08), no login") << QStringList{"1.08,,"} << "3/256" << true;
        QTest::newRow("one of two without login")
            << QStringList{"1.05,admin,pw", "1.07,,"} << "4/256" << false;
    }

    void addedCamerasCountAtOnceAndNextFollowsTheirLogins() {
        QFETCH(QStringList, added);
        QFETCH(QString, counter);
        QFETCH(bool, next);
        MainWindow& w = Open();
        w.Table().Store(Record("08-00-46-00-00-01", {10, 0, 0, 1}));
        w.Table().Store(Record("08-00-46-00-00-02", {10, 0, 0, 2}));
        ToAutomaticPage(w);
        TargetCameraPage* page = w.AutoTarget();
        GiveAllLogins(w, "admin", "admin");
        QVERIFY(w.NextButton()->isEnabled());
        page->SetAddOtherCameras([&](TargetCameraPage& target) {
            CameraListView* list = target.List();
            for (const QString& camera : added) {
                const QStringList parts = camera.split(',');
                const int row = list->Count();
                const uint8_t last = static_cast<uint8_t>(10 + row);
                list->AddRow(row, "", AddressText({10, 0, 1, last}, 80), "VCQ-R20", "",
                             parts[0].toStdString(), {10, 0, 1, last}, 80, row);
                list->SetLogin(row, parts[1].toStdString(), parts[2].toStdString());
                QCOMPARE(page->Counter()->text(), QString("%1/256").arg(list->Count()));
            }
        });
        if (!page->Expanded())
            page->RevealButton()->click();
        QTRY_VERIFY(!page->Animating());
        page->AddOtherButton()->click();
        QCOMPARE(page->Counter()->text(), counter);
        QCOMPARE(w.NextButton()->isEnabled(), next);
    }

    void emptyListCountsZeroAndOffersOnlyTheRevealedButtons() {
        MainWindow& w = Open();
        ToAutomaticPage(w);
        TargetCameraPage* page = w.AutoTarget();
        QCOMPARE(page->Counter()->text(), QString("0/256"));
        QVERIFY(!page->AccessButton()->isEnabled());
        QVERIFY(!page->TestingButton()->isEnabled());
        QVERIFY(!w.NextButton()->isEnabled());
        QVERIFY(page->RevealButton()->isEnabled());
        page->RevealButton()->click();
        QTRY_VERIFY(!page->Animating());
        OnNextDialog([](QDialog& dialog) { dialog.reject(); });  // empty: closes at once
        page->AddOtherButton()->click();
        QVERIFY(boxes_->Boxes().empty());
        QVERIFY(!page->AccessButton()->isEnabled());
    }

    void duplicateAddressesBlockBackAndNextButTicksStillSetNext() {
        MainWindow& w = Open();
        w.Table().Store(Record("08-00-46-00-00-01", {127, 0, 0, 5}));
        w.Table().Store(Record("08-00-46-00-00-02", {127, 0, 0, 6}));
        w.Table().Store(Record("08-00-46-00-00-03", {127, 0, 0, 5}, 8080));
        w.Table().Store(Record("08-00-46-00-00-04", {127, 0, 0, 5}));
        ToAutomaticPage(w);
        TargetCameraPage* page = w.AutoTarget();
        QCOMPARE(boxes_->Boxes().size(), size_t(1));
        const MessageRequest& box = boxes_->Boxes()[0].request;
        QCOMPARE(box.text, std::string("There is more than one camera with the same IP address as "
                                       "below.\r\n#127.0.0.5\r\n#127.0.0.5\r\n#127.0.0.5\r\n"
                                       "Please assign different addresses to avoid any conflict."));
        QCOMPARE(box.caption, std::string("Error"));
        QVERIFY(box.icon == MessageIcon::Stop);
        QVERIFY(page->Blocked());
        QVERIFY(!w.NextButton()->isEnabled());
        QVERIFY(!w.BackButton()->isEnabled());
        QVERIFY(w.CancelButton()->isEnabled());
        QVERIFY(!page->SelectAllButton()->isEnabled());
        QVERIFY(!page->AccessButton()->isEnabled());
        QVERIFY(!page->RevealButton()->isEnabled());

        // Logins given elsewhere; a tick click applies the login rule again.
        CameraListView* list = page->List();
        for (int row = 0; row < list->Count(); ++row)
            list->SetLogin(row, "admin", row == 3 ? "" : "admin");
        const QRect tick = list->visualRect(list->Model().index(3, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, tick.center());
        QCOMPARE(list->Rows().Row(3).ticked, 0);
        QVERIFY(w.NextButton()->isEnabled());
        QVERIFY(!w.BackButton()->isEnabled());
        QVERIFY(!page->AccessButton()->isEnabled());  // selection changes nothing now
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, tick.center());
        QVERIFY(!w.NextButton()->isEnabled());
    }

    void discoveryEndingAfterTheOperatorWentBackChecksOnlyOnReturn() {
        MainWindow& w = Open();
        w.Table().MarkStarted();  // as if discovery still ran
        ToAutomaticPage(w);
        TargetCameraPage* page = w.AutoTarget();
        QVERIFY(page->Discovering());
        w.BackButton()->click();
        QCOMPARE(w.PageIndex(), 2);
        w.Table().Store(Record("08-00-46-00-00-01", {127, 0, 0, 5}));
        w.Table().Store(Record("08-00-46-00-00-02", {127, 0, 0, 5}));
        w.Table().MarkEnded();
        QTRY_VERIFY(!page->Discovering());
        QCOMPARE(page->List()->Count(), 2);
        QVERIFY(boxes_->Boxes().empty());
        QVERIFY(w.NextButton()->isEnabled());
        QVERIFY(w.BackButton()->isEnabled());
        w.NextButton()->click();
        QCOMPARE(boxes_->Boxes().size(), size_t(1));
        QVERIFY(page->Blocked());
        QVERIFY(!w.BackButton()->isEnabled());
    }

    void relaxedModeSkipsTheDuplicateCheck() {
        MainWindow& w = Open();
        w.RelaxedModeCommand();
        boxes_->Clear();
        w.Table().Store(Record("08-00-46-00-00-01", {127, 0, 0, 5}));
        w.Table().Store(Record("08-00-46-00-00-02", {127, 0, 0, 5}));
        ToAutomaticPage(w);
        QVERIFY(boxes_->Boxes().empty());
        QVERIFY(!w.AutoTarget()->Blocked());
        QVERIFY(w.BackButton()->isEnabled());
    }

    void selectAllAndTheChoiceOfLoginDialog() {
        MainWindow& w = Open();
        w.Table().Store(Record("08-00-46-00-00-01", {10, 0, 0, 1}));
        w.Table().Store(Record("08-00-46-00-00-02", {10, 0, 0, 2}));
        w.Table().Store(Record("08-00-46-00-00-03", {10, 0, 0, 3}));
        ToAutomaticPage(w);
        TargetCameraPage* page = w.AutoTarget();
        CameraListView* list = page->List();
        list->Rows().MutableRow(1).ticked = 0;
        page->SelectAllButton()->click();
        QCOMPARE(list->SelectedRows(), (std::vector<int>{0, 1, 2}));
        QCOMPARE(list->currentIndex().row(), 0);
        QCOMPARE(list->Rows().Row(1).ticked, 0);  // ticks stay
        QVERIFY(page->AccessButton()->isEnabled());
        QVERIFY(page->TestingButton()->isEnabled());

        QString title;
        auto note = [&](QDialog& dialog) {
            title = dialog.windowTitle();
            dialog.reject();
        };
        OnNextDialog(note);
        page->AccessButton()->click();
        QCOMPARE(title, QString("Batch login"));
        list->clearSelection();
        list->SelectFirst();
        OnNextDialog(note);
        page->AccessButton()->click();
        QCOMPARE(title, QString("Single login"));
    }

    void oneCameraOpensBatchLoginFilledWithItsLogin() {
        MainWindow& w = Open();
        w.Table().Store(Record("08-00-46-00-00-01", {10, 0, 0, 1}));
        ToAutomaticPage(w);
        TargetCameraPage* page = w.AutoTarget();
        page->List()->SetLogin(0, "admin", "secret");
        QString title, name;
        OnNextDialog([&](QDialog& dialog) {
            title = dialog.windowTitle();
            name = static_cast<BatchLoginDialog&>(dialog).NameEdit()->text();
            static_cast<BatchLoginDialog&>(dialog).OkButton()->click();
        });
        page->AccessButton()->click();
        QCOMPARE(title, QString("Batch login"));
        QCOMPARE(name, QString("admin"));
        std::string n, p;
        page->List()->GetLogin(0, n, p);
        QCOMPARE(QString::fromStdString(n + ":" + p), QString("admin:secret"));
        QVERIFY(w.NextButton()->isEnabled());
    }

    void revealAnimationReturnsTheButtonsToTheirPlaces() {
        MainWindow& w = Open();
        ToAutomaticPage(w);
        TargetCameraPage* page = w.AutoTarget();
        const QRect add = page->AddOtherButton()->geometry();
        const QRect testing = page->TestingButton()->geometry();
        QVERIFY(!page->AddOtherButton()->isVisible());
        QCOMPARE(page->RevealButton()->text(), QString("&<<"));

        page->RevealButton()->click();
        QVERIFY(page->Animating());
        QVERIFY(page->TestingButton()->isVisible());
        QVERIFY(page->TestingButton()->width() < testing.width());  // growing from the right
        QCOMPARE(page->TestingButton()->geometry().right(), testing.right());
        page->RevealButton()->click();  // ignored while it runs
        QTRY_VERIFY(!page->Animating());
        QVERIFY(page->Expanded());
        QCOMPARE(page->RevealButton()->text(), QString("&>>"));
        QCOMPARE(page->AddOtherButton()->geometry(), add);
        QCOMPARE(page->TestingButton()->geometry(), testing);
        QVERIFY(page->AddOtherButton()->isVisible());

        page->RevealButton()->click();
        QTRY_VERIFY(!page->Animating());
        QVERIFY(!page->Expanded());
        QVERIFY(!page->AddOtherButton()->isVisible());
        QVERIFY(!page->TestingButton()->isVisible());
        QCOMPARE(page->AddOtherButton()->geometry(), add);
        QCOMPARE(page->TestingButton()->geometry(), testing);
        QCOMPARE(page->RevealButton()->text(), QString("&<<"));
    }

    // --- Against stand-in cameras

    void testingColoursRowsAndASilentCameraNeverFreezesTheWindow() {
        RequireCameras();
        sim::CameraConfig silent = Camera("127.0.0.4", "08:00:46:00:00:04");
        silent.httpFault = sim::HttpFault::AcceptNeverAnswer;
        StartCameras({Camera("127.0.0.2", "08:00:46:00:00:02"),
                      Camera("127.0.0.3", "08:00:46:00:00:03"), silent});
        ExchangeLimits limits;
        limits.connect = 1000ms;
        limits.read = 1000ms;
        limits.total = 3000ms;
        MainWindow& w = Open(false, limits);
        w.Table().Store(Record("08-00-46-00-00-02", {127, 0, 0, 2}));
        w.Table().Store(Record("08-00-46-00-00-03", {127, 0, 0, 3}));
        w.Table().Store(Record("08-00-46-00-00-04", {127, 0, 0, 4}));
        ToAutomaticPage(w);
        TargetCameraPage* page = w.AutoTarget();
        CameraListView* list = page->List();
        list->SetLogin(0, "admin", "admin");
        list->SetLogin(1, "admin", "wrong");
        list->SetLogin(2, "admin", "admin");
        page->SelectAllButton()->click();
        page->RevealButton()->click();
        QTRY_VERIFY(!page->Animating());

        // The longest gap between two runs of the UI thread's event loop.
        QElapsedTimer clock;
        qint64 last = 0, longest = 0;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
        QSignalSpy ended(list, &CameraListView::TestingEnded);
        clock.start();
        probe.start(2);
        page->TestingButton()->click();
        QVERIFY(page->Testing());
        QCOMPARE(page->cursor().shape(), Qt::BusyCursor);
        QTRY_COMPARE_WITH_TIMEOUT(list->Rows().Row(0).status, status::kVerified, 5000);
        QCOMPARE(list->Rows().Row(1).status, status::kFailed);
        QCOMPARE(list->Rows().Row(2).status, status::kNotVerified);  // still being asked
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 15000);
        probe.stop();
        qInfo("verification with a silent camera took %lld ms; longest UI-thread stall %lld ms",
              static_cast<long long>(clock.elapsed()), static_cast<long long>(longest));
        QVERIFY2(longest < vcq::test::kMaxUiStallMs,
                 qPrintable(QString("stall of %1 ms").arg(longest)));
        QCOMPARE(list->Rows().Row(2).status, status::kNoAnswer);
        QVERIFY(!page->Testing());
        QCOMPARE(page->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(list->Rows().Row(0).texts[text::kMac], std::string("08-00-46-00-00-02"));
        QCOMPARE(cameras_->RequestCount(0, "inq=sysuser"), 1);
        QCOMPARE(cameras_->RequestCount(2, "inq=sysuser"), 3);  // three rounds, then given up
        QVERIFY(boxes_->Boxes().empty());
    }

    // An address taken by another device on the segment: the wizard says why
    // nothing is searched and cameras may still be added by hand.
    void noUsableAdapterIsSaidAndCamerasMayStillBeAdded() {
        RequireCameras();
        if (test::kDiscoveryByUnicast)
            QSKIP("this build never broadcasts");
        ui::WizardOptions options;
        options.discovery = true;
        options.tempFolder = temp_.path().toStdString();
        options.discoveryOptions.interfaces = [] {
            net::NetworkInterface nic;
            nic.name = "Ethernet";
            nic.address = 0xC0A80007;
            nic.prefixLength = 24;
            nic.unusable = "the address is a duplicate";
            return std::vector{nic};
        };
        w_ = std::make_unique<MainWindow>(options);
        boxes_->window = w_.get();
        w_->show();
        ToAutomaticPage(*w_);
        TargetCameraPage* page = w_->AutoTarget();
        QVERIFY(!page->Discovering());
        QVERIFY(page->Searching()->isVisible());
        QCOMPARE(page->Searching()->text(),
                 QString("No network adapter could be searched (Ethernet 192.168.0.7/24: the "
                         "address is a duplicate). Add the cameras with \"Add other cameras...\" "
                         "or use manual mode."));
        QVERIFY(page->RevealButton()->isEnabled());
        QVERIFY(boxes_->Boxes().empty());
    }

    void discoveryFillsThePageWhenItEnds() {
        RequireCameras();
        sim::CameraConfig dhcp = Camera("127.0.0.3", "08:00:46:00:00:03");
        dhcp.dhcp = true;
        sim::CameraConfig noMac = Camera("127.0.0.4", "");
        StartCameras({Camera("127.0.0.2", "08:00:46:00:00:02"), dhcp, noMac}, true, 1500ms);
        w_ = test::OpenWizard(*boxes_, temp_.path(), true, test::ShortLimits(),
                              cameras_->discovery()->Port());
        MainWindow& w = *w_;
        ToAutomaticPage(w);
        TargetCameraPage* page = w.AutoTarget();
        CameraListView* list = page->List();
        QVERIFY(page->Discovering());
        QCOMPARE(page->cursor().shape(), Qt::WaitCursor);
        QVERIFY(!list->isEnabled());
        QVERIFY(list->Searching());
        QCOMPARE(list->accessibleDescription(), QString("Searching..."));
        QVERIFY(!page->SelectAllButton()->isEnabled());
        QVERIFY(!page->AccessButton()->isEnabled());
        QVERIFY(!page->RevealButton()->isEnabled());
        QCOMPARE(page->Counter()->text(), QString("0/256"));
        // Loopback alone in the private network: the destination as it is.
        QVERIFY(page->Searching()->isVisible());
        QCOMPARE(page->Searching()->text(),
                 QString(test::kDiscoveryByUnicast ? "Searching: 127.0.0.1"
                                                   : "Searching: 255.255.255.255"));
        QTRY_COMPARE_WITH_TIMEOUT(w.Table().Count(), 2, 5000);
        QTest::qWait(600);
        QCOMPARE(list->Count(), 0);  // not before discovery has ended

        QTRY_VERIFY_WITH_TIMEOUT(!page->Discovering(), 15000);
        QVERIFY(!page->Searching()->isVisible());
        QCOMPARE(list->Count(), 2);  // the camera without a MAC address gives no row
        QCOMPARE(page->Counter()->text(), QString("2/256"));
        QVERIFY(list->isEnabled());
        QVERIFY(!list->Searching());
        QVERIFY(page->SelectAllButton()->isEnabled());
        QVERIFY(page->AccessButton()->isEnabled());
        QCOMPARE(page->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(list->SelectedRows(), (std::vector<int>{0}));
        std::vector<std::string> addresses = {list->Rows().Row(0).texts[text::kAddress],
                                              list->Rows().Row(1).texts[text::kAddress]};
        std::sort(addresses.begin(), addresses.end());
        QCOMPARE(addresses, (std::vector<std::string>{"127.0.0.2", "DHCP"}));
        QVERIFY(!w.NextButton()->isEnabled());
    }
};

QTEST_MAIN(TargetPageTest)
#include "target_page_test.moc"
