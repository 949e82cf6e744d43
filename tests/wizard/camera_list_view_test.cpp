// The detected camera list and the login dialogs on the offscreen platform:
// how rows are drawn, the mouse and keyboard rules, sorting by header, the
// DHCP tooltip, and walking the cameras in the login dialogs.
#include <QApplication>
#include <QHeaderView>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QtTest>

#include "upgrade/pre_batch.h"
#include "wizard/beep.h"
#include "wizard/lists/camera_list_view.h"
#include "wizard/lists/login_dialogs.h"

using namespace vcq;
using namespace vcq::ui;

namespace {

// Rows 10.0.0.1 to 10.0.0.n; row 2 (if any) is on DHCP, row 3 on port 8080.
void Fill(CameraListView& list, int n) {
    for (int i = 0; i < n; ++i) {
        const Ipv4 ip{10, 0, 0, uint8_t(i + 1)};
        const int32_t port = i == 3 ? 8080 : 80;
        const std::string address = i == 2 ? "DHCP" : AddressText(ip, port);
        list.AddRow(i, "08-00-46-00-00-0" + std::to_string(i), address, "VCQ-R20",
                    "1000000" + std::to_string(i), "ver1.05", ip, port, -1);
    }
}

QPoint CellCentre(CameraListView& list, int row, int column) {
    const QRect rect = list.visualRect(list.Model().index(row, column));
    return rect.center();
}

// The colour most common in a row's strip of column `column`.
QColor Sample(CameraListView& list, int row, int column) {
    const QImage image = list.viewport()->grab().toImage();
    const QRect rect = list.visualRect(list.Model().index(row, column));
    return image.pixelColor(rect.right() - 2, rect.center().y());
}

// The strongest contrast any pixel of a cell has against the cell's ground.
double BestContrast(CameraListView& list, int row, int column) {
    const QImage image = list.viewport()->grab().toImage();
    const QRect rect = list.visualRect(list.Model().index(row, column));
    const QColor ground = Sample(list, row, column);
    double best = 1;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x)
            best = std::max(best, ContrastRatio(image.pixelColor(x, y), ground));
    }
    return best;
}

void Move(CameraListView& list, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, list.viewport()->mapToGlobal(at), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &move);
}

bool HasRedText(CameraListView& list, int row, int column) {
    const QImage image = list.viewport()->grab().toImage();
    const QRect rect = list.visualRect(list.Model().index(row, column));
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 100 && c.red() > 2 * (c.green() + c.blue()))
                return true;
        }
    }
    return false;
}

}  // namespace

class CameraListViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> window_;
    CameraListView* list_ = nullptr;
    QList<QUrl> opened_;
    int beeps_ = 0;

    CameraListView& Open(int rows) {
        window_ = std::make_unique<QWidget>();
        window_->resize(620, 300);
        list_ = new CameraListView(nullptr, window_.get());
        list_->setGeometry(0, 0, 620, 300);
        Fill(*list_, rows);
        window_->show();
        QApplication::setActiveWindow(window_.get());
        [[maybe_unused]] bool exposed = QTest::qWaitForWindowExposed(window_.get());
        list_->setFocus();
        return *list_;
    }

    void Select(const std::vector<int>& rows, int current) {
        list_->clearSelection();
        for (int row : rows)
            list_->selectionModel()->select(
                list_->Model().index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        list_->selectionModel()->setCurrentIndex(list_->Model().index(current, 0),
                                                 QItemSelectionModel::NoUpdate);
    }

    std::vector<int32_t> Ticks() {
        std::vector<int32_t> ticks;
        for (int i = 0; i < list_->Count(); ++i)
            ticks.push_back(list_->Rows().Row(i).ticked);
        return ticks;
    }

    QStringList Macs() {
        QStringList macs;
        for (int i = 0; i < list_->Count(); ++i)
            macs << QString::fromStdString(list_->Rows().Row(i).texts[text::kMac]);
        return macs;
    }

    void ClickHeader(int column, int offset) {
        QHeaderView* header = list_->header();
        const int x = header->sectionViewportPosition(column) + offset;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

  private slots:
    void initTestCase() {
        QApplication::setStyle(QStyleFactory::create("Fusion"));
        ListView::SetUrlOpener([this](const QUrl& url) { opened_ << url; });
        SetBeepHook([this] { ++beeps_; });
    }
    void cleanupTestCase() {
        ListView::SetUrlOpener(nullptr);
        SetBeepHook(nullptr);
    }
    void init() {
        opened_.clear();
        beeps_ = 0;
    }
    void cleanup() { window_.reset(); }

    // --- Drawing

    void ellipsisKeepsTwelvePixelsToSpare() {
        QFontMetrics metrics(QApplication::font());
        const QString text = "VCQ-R20-LONG-MODEL";
        const int exact = metrics.horizontalAdvance(text) + 12;
        QCOMPARE(ElideColumnText(metrics, text, exact), text);
        const QString cut = ElideColumnText(metrics, text, exact - 1);
        QVERIFY(cut.endsWith("...") && cut.size() < text.size() + 3);
        QVERIFY(metrics.horizontalAdvance(cut) + 12 <= exact - 1 || cut.size() == 4);
        QCOMPARE(ElideColumnText(metrics, "W", 5), QString("W..."));
        QCOMPARE(ElideColumnText(metrics, "", 1), QString());
        // A hostile, very long text is cut to the buffer's size first.
        QVERIFY(ElideColumnText(metrics, QString(5000, 'x'), 40).size() < 260);
    }

    void rowsAreColouredByStatusSelectionAndPassword() {
        CameraListView& list = Open(3);
        list.clearSelection();
        list.setCurrentIndex({});
        list.Rows().MutableRow(1).status = status::kFailed;
        list.Rows().MutableRow(2).status = status::kVerified;
        list.Model().RowsChanged();
        const QColor plain = Sample(list, 0, 3);
        const QColor pink = Sample(list, 1, 3);
        const QColor lavender = Sample(list, 2, 3);
        QVERIFY2(plain.red() > 200 && plain.green() > 200 && plain.blue() > 200,
                 qPrintable(plain.name()));
        QVERIFY2(pink.red() > 240 && pink.green() < 180, qPrintable(pink.name()));
        QVERIFY2(lavender.blue() > 240 && lavender.red() < 225, qPrintable(lavender.name()));
        Select({0}, 0);
        const QColor selected = Sample(list, 0, 3);
        QVERIFY2(selected.blue() > selected.red() + 50 && selected.red() < 120,
                 qPrintable(selected.name()));
        // A row without a password shows its name in red, ticked or not.
        list.SetLogin(1, "admin", "");
        list.Rows().MutableRow(1).ticked = 0;
        list.SetLogin(2, "admin", "admin");
        QVERIFY(HasRedText(list, 1, text::kName));
        QVERIFY(!HasRedText(list, 2, text::kName));
        // The tick column shows the state, greyed in a disabled list.
        const QImage ticked =
            list.viewport()->grab().toImage().copy(list.visualRect(list.Model().index(2, 0)));
        list.setEnabled(false);
        const QImage grey =
            list.viewport()->grab().toImage().copy(list.visualRect(list.Model().index(2, 0)));
        QVERIFY(ticked != grey);
    }

    // The verification result reads from a row whatever else it shows:
    // selected or not, its name red for a missing password or not.
    void verificationResultStaysReadable_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("description");
        QTest::newRow("not verified") << int(status::kNotVerified) << false << "pw"
                                      << "";
        QTest::newRow("pink, name in red") << int(status::kFailed) << false << ""
                                           << "verification failed (pink)";
        QTest::newRow("lavender, name in red") << int(status::kVerified) << false << ""
                                               << "verified (lavender)";
        QTest::newRow("pink, selected") << int(status::kFailed) << true << ""
                                        << "verification failed (pink)";
        QTest::newRow("lavender, selected") << int(status::kVerified) << true << "pw"
                                            << "verified (lavender)";
        QTest::newRow("not verified, selected") << int(status::kNotVerified) << true << ""
                                                << "";
        QTest::newRow("never answered") << int(status::kNoAnswer) << false << "pw"
                                        << "not answering (pink)";
        QTest::newRow("never answered, selected") << int(status::kNoAnswer) << true << "pw"
                                                  << "not answering (pink)";
    }

    void verificationResultStaysReadable() {
        QFETCH(int, status);
        QFETCH(bool, selected);
        QFETCH(QString, password);
        QFETCH(QString, description);
        CameraListView& list = Open(1);
        list.clearSelection();
        list.Rows().MutableRow(0).status = status;
        list.SetLogin(0, "admin", password.toStdString());
        if (selected)
            Select({0}, 0);
        list.Model().RowsChanged();
        for (int column : {0, text::kName})
            QCOMPARE(list.Model().index(0, column).data(Qt::AccessibleDescriptionRole).toString(),
                     description);
        const double contrast = BestContrast(list, 0, text::kName);
        QVERIFY2(contrast >= 4.5, qPrintable(QString::number(contrast)));
        // Beside the tick box the row shows its result even when selected.
        const QRect tick = list.visualRect(list.Model().index(0, 0));
        const QColor edge =
            list.viewport()->grab().toImage().pixelColor(tick.left() + 1, tick.center().y());
        const bool blue = edge.blue() > edge.red() + 50 && edge.red() < 120;
        const bool pink = edge.red() > 240 && edge.green() < 180;
        const bool lavender = edge.blue() > 240 && edge.red() > 180 && edge.red() < 225;
        if (status == status::kFailed || status == status::kNoAnswer)
            QVERIFY2(pink, qPrintable(edge.name()));
        else if (status == status::kVerified)
            QVERIFY2(lavender, qPrintable(edge.name()));
        else
            QVERIFY2(selected ? blue : !pink && !lavender, qPrintable(edge.name()));
    }

    // --- Mouse and keyboard

    void tickClicksFollowTheSelectionAndKeepIt() {
        CameraListView& list = Open(4);
        QSignalSpy logins(&list, &CameraListView::LoginsChanged);
        Select({0, 1, 2}, 0);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, CellCentre(list, 1, 0));
        QCOMPARE(Ticks(), (std::vector<int32_t>{0, 0, 0, 1}));
        QCOMPARE(list.SelectedRows(), (std::vector<int>{0, 1, 2}));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, CellCentre(list, 3, 0));
        QCOMPARE(Ticks(), (std::vector<int32_t>{0, 0, 0, 0}));
        QCOMPARE(logins.count(), 2);
        // A quick double-click on a tick toggles twice.
        QTest::mousePress(list.viewport(), Qt::LeftButton, {}, CellCentre(list, 3, 0));
        QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, CellCentre(list, 3, 0));
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, CellCentre(list, 3, 0));
        QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, CellCentre(list, 3, 0));
        QCOMPARE(list.Rows().Row(3).ticked, 0);
        QVERIFY(opened_.isEmpty());
        // A click on another column selects, and says so.
        QSignalSpy selection(&list, &CameraListView::SelectionChanged);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, CellCentre(list, 3, 2));
        QCOMPARE(list.SelectedRows(), (std::vector<int>{3}));
        QCOMPARE(selection.count(), 1);
        QCOMPARE(selection.last().at(0).toBool(), true);
    }

    void doubleClickOpensTheCamerasPage() {
        CameraListView& list = Open(4);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, CellCentre(list, 3, 3));
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, CellCentre(list, 0, 1));
        QCOMPARE(opened_, (QList<QUrl>{QUrl("http://10.0.0.4:8080/"), QUrl("http://10.0.0.1/")}));
        // Below the last row nothing happens.
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, QPoint(200, 280));
        QCOMPARE(opened_.size(), 2);
    }

    void spaceTicksTheSelectionByTheFocusedRow() {
        CameraListView& list = Open(4);
        Select({1, 2}, 1);
        QSignalSpy selection(&list, &CameraListView::SelectionChanged);
        QTest::keyClick(&list, Qt::Key_Space);
        QCOMPARE(Ticks(), (std::vector<int32_t>{1, 0, 0, 1}));
        QCOMPARE(list.SelectedRows(), (std::vector<int>{1, 2}));
        QTest::keyClick(&list, Qt::Key_Space);
        QCOMPARE(Ticks(), (std::vector<int32_t>{1, 1, 1, 1}));
        QCOMPARE(selection.count(), 2);
        // Arrow keys move the selection as in any list.
        QTest::keyClick(&list, Qt::Key_Down);
        QCOMPARE(list.SelectedRows(), (std::vector<int>{2}));
    }

    void headerSortsAwayFromItsDividersAndSelectionTravels() {
        CameraListView& list = Open(5);
        // Give the rows addresses that sort differently from their order.
        list.Rows().MutableRow(0).texts[text::kAddress] = "10.0.0.9";
        list.Rows().MutableRow(1).texts[text::kAddress] = "10.0.0.10";
        list.Rows().MutableRow(4).texts[text::kAddress] = "10.0.0.11";
        Select({0, 4}, 4);
        ClickHeader(text::kAddress, 2);  // on the divider's slack: no sort
        QCOMPARE(list.Rows().SortColumn(), -1);
        ClickHeader(text::kAddress, 20);
        QCOMPARE(Macs(), (QStringList{"08-00-46-00-00-01", "08-00-46-00-00-04", "08-00-46-00-00-03",
                                      "08-00-46-00-00-00", "08-00-46-00-00-02"}));
        // "10.0.0.10", "10.0.0.11", "10.0.0.4:8080", "10.0.0.9", "DHCP"
        QCOMPARE(list.SelectedRows(), (std::vector<int>{1, 3}));
        QCOMPARE(list.currentIndex().row(), 1);
        QCOMPARE(list.header()->sortIndicatorSection(), text::kAddress);

        // The keyboard sorts too: Ctrl+3 is the address column again.
        QTest::keyClick(&list, Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(Macs().front(), QString("08-00-46-00-00-02"));  // "DHCP" first, descending
        QCOMPARE(list.currentIndex().row(), 3);

        // Every row ticked: the tick column keeps the order.
        const QStringList before = Macs();
        ClickHeader(0, 8);
        QCOMPARE(Macs(), before);
        QCOMPARE(list.Rows().SortColumn(), 0);
    }

    // What a row's cell does not show whole, or why the row starts unticked,
    // is in its tooltip; the version column says "Up to date" itself.
    void cellsExplainThemselvesInTooltips_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("tooltip");
        QTest::addColumn<bool>("ticked");
        const QString upToDate = QString::fromStdString(PreBatchReason(PreBatch::UpToDate));
        const QString refused = QString::fromStdString(PreBatchReason(PreBatch::NotUpgradable));
        QTest::newRow("DHCP address") << 2 << text::kAddress << "DHCP"
                                      << "10.0.0.3" << true;
        QTest::newRow("fixed address") << 1 << text::kAddress << "10.0.0.2"
                                       << "" << true;
        QTest::newRow("model") << 2 << text::kModel << "VCQ-R20"
                               << "" << true;
        QTest::newRow("serial whole") << 1 << text::kSerial << "10000001"
                                      << "10000001" << true;
        QTest::newRow("older version") << 1 << text::kVersion << "ver1.05"
                                       << "" << true;
        QTest::newRow("up to date") << 4 << text::kVersion << "ver1.08 (Up to date)"
                                    << "Up to date: " + upToDate << false;
        QTest::newRow("other generation") << 5 << text::kVersion << "ver3.00 (Not upgradable)"
                                          << "Not upgradable: " + refused << false;
    }
    void cellsExplainThemselvesInTooltips() {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, shown);
        QFETCH(QString, tooltip);
        QFETCH(bool, ticked);
        CameraListView& list = Open(4);
        list.AddRow(4, "08-00-46-00-00-14", "10.0.0.5", "VCQ-R20", "1000004", "ver1.08",
                    {10, 0, 0, 5}, 80, -1);
        list.AddRow(5, "08-00-46-00-00-15", "10.0.0.6", "VCQ-R20", "1000005", "ver3.00",
                    {10, 0, 0, 6}, 80, -1);
        const QModelIndex cell = list.Model().index(row, column);
        QCOMPARE(cell.data(Qt::DisplayRole).toString(), shown);
        QCOMPARE(list.Rows().Row(row).ticked != 0, ticked);
        if (column == text::kVersion)  // read out as well
            QVERIFY(cell.data(Qt::AccessibleDescriptionRole).toString().contains(tooltip));
        // Away first, so that the tooltip is looked up afresh.
        Move(list, CellCentre(list, row == 0 ? 1 : 0, text::kModel));
        Move(list, CellCentre(list, row, column));
        QTRY_COMPARE(list.TooltipText(), tooltip);
    }

    void verificationColoursRowsAndEnds() {
        CameraListView& list = Open(3);
        list.Rows().SetVerifyExchange([](const std::string& host, const std::string&) {
            if (host == "10.0.0.1")
                return JobReply{true, "HTTP/1.1 200 OK\r\n\r\n", "08-00-46-ff-ff-ff"};
            return JobReply{true, "HTTP/1.1 401 Unauthorized\r\n\r\n", ""};
        });
        QSignalSpy ended(&list, &CameraListView::TestingEnded);
        Select({0, 1}, 0);
        list.StartVerification();
        QVERIFY(list.ListTimerActive(kVerificationTimer));
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 5000);
        QVERIFY(!list.ListTimerActive(kVerificationTimer));
        QCOMPARE(list.Rows().Row(0).status, status::kVerified);
        QCOMPARE(list.Rows().Row(1).status, status::kFailed);
        QCOMPARE(list.Rows().Row(2).status, status::kNotVerified);
    }

    // --- Login dialogs

    void singleLoginWalksTheRowsAndBeepsAtTheEnd() {
        CameraListView& list = Open(3);
        list.SetLogin(2, "keep", "this");
        Select({0}, 0);
        SingleLoginDialog dialog(&list);
        QVERIFY(!dialog.PrevButton()->isEnabled());
        QVERIFY(dialog.NextButton()->isEnabled());
        QCOMPARE(QString::fromStdString(dialog.Address()->Text()), QString("10.0.0.1"));
        QCOMPARE(dialog.NameEdit()->maxLength(), 16);
        QCOMPARE(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
        dialog.NameEdit()->setText("first");
        dialog.PasswordEdit()->setText("one");
        dialog.NextButton()->click();
        QVERIFY(dialog.PrevButton()->isEnabled());
        QCOMPARE(list.SelectedRows(), (std::vector<int>{1}));
        QCOMPARE(QString::fromStdString(dialog.Address()->Text()), QString("10.0.0.2"));
        dialog.PrevButton()->click();
        QVERIFY(!dialog.PrevButton()->isEnabled());
        QCOMPARE(dialog.NameEdit()->text(), QString("first"));
        QCOMPARE(list.SelectedRows(), (std::vector<int>{0}));

        // Two quick presses of NEXT store each row's own login.
        dialog.NextButton()->click();
        dialog.NameEdit()->setText("second");
        dialog.PasswordEdit()->setText("two");
        dialog.NextButton()->click();
        QCOMPARE(dialog.NameEdit()->text(), QString("keep"));
        dialog.NameEdit()->setText("third");
        dialog.NextButton()->click();  // the last row: beep, stay
        QCOMPARE(beeps_, 1);
        QVERIFY(!dialog.NextButton()->isEnabled());
        QCOMPARE(list.SelectedRows(), (std::vector<int>{2}));
        QCOMPARE(dialog.NameEdit()->text(), QString("third"));
        std::string name, password;
        list.GetLogin(1, name, password);
        QCOMPARE(QString::fromStdString(name + ":" + password), QString("second:two"));
        list.GetLogin(2, name, password);
        QCOMPARE(QString::fromStdString(name + ":" + password), QString("third:this"));
        // Close keeps what the edits show now out of the list.
        dialog.NameEdit()->setText("dropped");
        dialog.CloseButton()->click();
        list.GetLogin(2, name, password);
        QCOMPARE(QString::fromStdString(name), QString("third"));
    }

    void singleLoginOnTheLastRowAndEnter() {
        CameraListView& list = Open(2);
        Select({1}, 1);
        SingleLoginDialog dialog(&list);
        dialog.show();
        QVERIFY(dialog.NextButton()->isEnabled());
        QVERIFY(dialog.PrevButton()->isEnabled());
        dialog.NameEdit()->setFocus();
        dialog.NameEdit()->setText("admin");
        QTest::keyClick(dialog.NameEdit(), Qt::Key_Return);  // Enter is NEXT
        QCOMPARE(beeps_, 1);
        QVERIFY(!dialog.NextButton()->isEnabled());
        QTest::keyClick(dialog.NameEdit(), Qt::Key_Return);  // now nothing
        QCOMPARE(beeps_, 1);
        QVERIFY(dialog.isVisible());
        dialog.PasswordEdit()->setText("pw");
        dialog.OkButton()->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        std::string name, password;
        list.GetLogin(1, name, password);
        QCOMPARE(QString::fromStdString(name + ":" + password), QString("admin:pw"));
    }

    void batchLoginOpensEmptyForMixedLoginsAndSetsThemAll() {
        CameraListView& list = Open(4);
        list.SetLogin(0, "admin", "a");
        list.SetLogin(1, "admin", "a");
        list.SetLogin(2, "other", "b");
        Select({0, 1, 2}, 0);
        {
            BatchLoginDialog dialog(&list);
            QVERIFY(dialog.NameEdit()->text().isEmpty());
            QVERIFY(dialog.PasswordEdit()->text().isEmpty());
            dialog.NameEdit()->setText("root");
            dialog.PasswordEdit()->setText("pw");
            dialog.OkButton()->click();
        }
        for (int row : {0, 1, 2}) {
            std::string name, password;
            list.GetLogin(row, name, password);
            QCOMPARE(QString::fromStdString(name + ":" + password), QString("root:pw"));
        }
        std::string name, password;
        list.GetLogin(3, name, password);
        QVERIFY(name.empty());
        {
            BatchLoginDialog dialog(&list);  // all three alike now
            QCOMPARE(dialog.NameEdit()->text(), QString("root"));
            dialog.NameEdit()->setText("changed");
            dialog.CancelButton()->click();
        }
        list.GetLogin(0, name, password);
        QCOMPARE(QString::fromStdString(name), QString("root"));
    }
};

QTEST_MAIN(CameraListViewTest)
#include "camera_list_view_test.moc"
