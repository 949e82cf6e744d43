#include "wizard/lists/camera_list_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

#include "package/resources.h"

namespace vcq::ui {
namespace {

constexpr const char* kSearchingText = "Searching...";

constexpr int kTextError = 139;

}  // namespace

CameraListView::CameraListView(WindowPort* owner, QWidget* parent)
    : ListView(parent), owner_(owner) {
    model_ = new CameraListModel(rows_, this);
    setModel(model_);
    ApplyColumns(DetectedListColumns());
    tooltipTimer_.setSingleShot(true);
    connect(&tooltipTimer_, &QTimer::timeout, this, [this] {
        if (!tooltipText_.isEmpty())
            QToolTip::showText(viewport()->mapToGlobal(tooltipAt_), tooltipText_, viewport());
    });
}

// Pending jobs are dropped; their running exchanges end on their own.
CameraListView::~CameraListView() = default;

bool CameraListView::AddRow(int position, const std::string& mac, const std::string& addressText,
                            const std::string& model, const std::string& serial,
                            const std::string& version, const Ipv4& ip, int32_t port, int32_t tag) {
    return model_->AddRow(position, mac, addressText, model, serial, version, ip, port, tag);
}

int CameraListView::Populate(const std::vector<CameraRecord>& records) {
    return model_->Populate(records);
}

void CameraListView::Clear() {
    model_->Clear();
}

std::vector<int> CameraListView::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CameraListView::FirstSelectedRow() const {
    const std::vector<int> rows = SelectedRows();
    return rows.empty() ? -1 : rows.front();
}

bool CameraListView::AnySelected() const {
    return selectionModel()->hasSelection();
}

void CameraListView::SelectRow(int row) {
    if (row < 0 || row >= Count())
        return;
    const QModelIndex index = model_->index(row, 0);
    selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

void CameraListView::SelectFirst() {
    if (Count() == 0)
        return;
    const QModelIndex index = model_->index(0, 0);
    selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

void CameraListView::SelectAll() {
    selectAll();
    SelectFirst();
    emit SelectionChanged(true);
}

void CameraListView::MoveSelectionUp() {
    SelectRow(std::max(0, currentIndex().row() - 1));
}

void CameraListView::MoveSelectionDown() {
    SelectRow(std::min(Count() - 1, currentIndex().row() + 1));
}

void CameraListView::GetLogin(int row, std::string& name, std::string& password) const {
    rows_.GetLogin(row, name, password);
}

void CameraListView::GetLoginAndAddress(int row, std::string& name, std::string& password,
                                        Ipv4& ip) const {
    rows_.GetLoginAndAddress(row, name, password, ip);
}

void CameraListView::SetLogin(int row, const std::string& name, const std::string& password) {
    rows_.SetLogin(row, name, password);
    model_->RowsChanged();
}

bool CameraListView::CheckDuplicateAddresses() {
    const std::vector<std::string> lines = rows_.DuplicateAddressLines();
    if (lines.empty())
        return true;
    if (owner_) {
        owner_->MessageBox(DuplicateAddressMessage(lines), LoadUiText(kTextError, owner_),
                           MessageIcon::Stop, MessageButtons::Ok);
    }
    return false;
}

void CameraListView::SetExchangeLimits(const ExchangeLimits& limits) {
    rows_.SetVerifyExchange(SysuserExchange(limits));
}

void CameraListView::StartVerification() {
    rows_.StartVerification(SelectedRows());
    if (rows_.Verifying())
        StartListTimer(kVerificationTimer, kVerificationPeriodMs);
}

void CameraListView::OnListTimer(uint32_t id) {
    if (id != kVerificationTimer)
        return;
    const CameraList::TickResult result = rows_.VerificationTick();
    if (result.changed)
        model_->RowsChanged();
    if (!rows_.Verifying()) {
        KillListTimer(kVerificationTimer);
        if (result.ended)
            emit TestingEnded();
    }
}

void CameraListView::HeaderPressed(int column) {
    for (int row = 0; row < Count(); ++row) {
        CameraRow& r = rows_.MutableRow(row);
        r.wasSelected = selectionModel()->isRowSelected(row, {}) ? 1 : 0;
        r.wasFocused = currentIndex().isValid() && currentIndex().row() == row ? 1 : 0;
    }
    const bool reordered = rows_.Sort(column);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column,
                               rows_.Ascending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    if (!reordered)
        return;
    model_->Reordered();
    QItemSelection selection;
    for (int row = 0; row < Count(); ++row) {
        const CameraRow& r = rows_.Row(row);
        if (r.wasSelected)
            selection.select(model_->index(row, 0), model_->index(row, model_->columnCount() - 1));
        if (r.wasFocused)
            selectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::NoUpdate);
    }
    selectionModel()->select(selection, QItemSelectionModel::Select);
}

bool CameraListView::PressTick(const QPoint& point) {
    const int row = RowAt(point);
    if (row < 0 || point.x() >= ColumnRight(0))
        return false;
    rows_.ToggleTicks(row, SelectedRows());
    emit LoginsChanged();
    model_->RowsChanged();
    return true;
}

void CameraListView::mousePressEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (RowAt(point) < 0) {
        event->accept();  // below the rows: nothing at all
        return;
    }
    if (event->button() == Qt::LeftButton && PressTick(point)) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    ListView::mousePressEvent(event);
    emit SelectionChanged(AnySelected());
}

void CameraListView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (event->button() == Qt::LeftButton && point.x() < ColumnRight(0)) {
        PressTick(point);  // the second press of a quick double-click
        event->accept();
        return;
    }
    const int row = RowAt(point);
    if (row < 0) {
        event->accept();
        return;
    }
    const CameraRow& camera = rows_.Row(row);
    OpenUrl(QUrl(QString::fromStdString(WebPageUrl(camera.ip, camera.port))));
    ListView::mouseDoubleClickEvent(event);
}

void CameraListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        event->accept();  // ticks on release; the selection stays
        return;
    }
    ListView::keyPressEvent(event);
}

void CameraListView::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat() &&
        event->modifiers() == Qt::NoModifier) {
        if (rows_.SpaceTicks(currentIndex().row(), SelectedRows())) {
            emit LoginsChanged();
            model_->RowsChanged();
        }
    }
    ListView::keyReleaseEvent(event);
    emit SelectionChanged(AnySelected());
}

void CameraListView::mouseMoveEvent(QMouseEvent* event) {
    UpdateTooltip(event->position().toPoint());
    ListView::mouseMoveEvent(event);
}

bool CameraListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // Our own tooltips, shown after our own delay.
        event->accept();
        return true;
    }
    return ListView::viewportEvent(event);
}

void CameraListView::SetSearching(bool searching) {
    searching_ = searching;
    setEnabled(!searching);
    setAccessibleDescription(searching ? QString(kSearchingText) : QString());
    viewport()->update();
}

void CameraListView::paintEvent(QPaintEvent* event) {
    ListView::paintEvent(event);
    if (!searching_)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    // Below the rows discovery already found, or in the middle of an empty list.
    QRect area = viewport()->rect();
    area.setTop(std::min(Count() * RowHeight(), area.bottom() - RowHeight()));
    painter.drawText(area, Count() == 0 ? Qt::AlignCenter : Qt::AlignHCenter | Qt::AlignTop,
                     kSearchingText);
}

void CameraListView::UpdateTooltip(const QPoint& point) {
    auto clear = [this] {
        tooltipText_.clear();
        tooltipTimer_.stop();
        QToolTip::hideText();
    };
    // The DHCP address's real address, a serial cut by its column, and why a
    // camera starts unticked (on its version).
    int column = -1;
    for (int c : {text::kAddress, text::kSerial, text::kVersion})
        if (point.x() >= ColumnLeft(c) && point.x() < ColumnRight(c))
            column = c;
    if (column < 0) {
        tooltipRow_ = -1;
        clear();
        return;
    }
    const int row = RowAt(point);
    if (Count() == 0 || row < 0 || (row == tooltipRow_ && column == tooltipColumn_))
        return;
    tooltipRow_ = row;
    tooltipColumn_ = column;
    tooltipText_ = model_->index(row, column).data(Qt::ToolTipRole).toString();
    if (tooltipText_.isEmpty()) {
        clear();
        return;
    }
    tooltipAt_ = point + QPoint(0, RowHeight());
    tooltipTimer_.start(kTooltipDelayMs);
}

}  // namespace vcq::ui
