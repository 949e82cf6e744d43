#include "wizard/lists/batch_upgrade_list.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QScrollBar>

#include <algorithm>

#include "upgrade/batch_outcome.h"
#include "upgrade/steps.h"
#include "wizard/beep.h"

namespace vcq::ui {
namespace {

const QColor kFrameGrey(192, 192, 192);

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

const std::vector<ListColumn>& BatchListColumns() {
    static const std::vector<ListColumn> columns = {
        {"ID", 30, Qt::AlignRight}, {"IP address", 100}, {"Model", 82},
        {"Version No", 70},         {"Progress", 120},   {"Status", 90},
    };
    return columns;
}

const std::array<QColor, 11>& ProgressShades() {
    static const std::array<QColor, 11> shades = {
        QColor(156, 158, 247), QColor(156, 158, 247), QColor(181, 178, 255), QColor(181, 178, 255),
        QColor(181, 178, 255), QColor(156, 158, 247), QColor(148, 154, 247), QColor(148, 154, 247),
        QColor(148, 154, 247), QColor(132, 142, 222), QColor(132, 142, 222),
    };
    return shades;
}

// The bar's shades with red and blue swapped: the same relief, in red.
const std::array<QColor, 11>& FailureShades() {
    static const std::array<QColor, 11> shades = [] {
        std::array<QColor, 11> red = ProgressShades();
        for (QColor& shade : red)
            shade = QColor(shade.blue(), shade.green(), shade.red());
        return red;
    }();
    return shades;
}

BatchListModel::BatchListModel(const BatchEngine& engine, QObject* parent)
    : QAbstractTableModel(parent), engine_(engine) {}

int BatchListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(engine_.RowCount());
}

int BatchListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(BatchListColumns().size());
}

QVariant BatchListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= engine_.RowCount())
        return {};
    const BatchRow& row = engine_.Row(static_cast<size_t>(index.row()));
    const int32_t progress = std::clamp(row.progress, 0, kBatchProgressFull);
    if (role == ProgressRole)
        return progress;
    // Why a camera failed, on every cell of its row.
    if (role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole) {
        const std::string note = RowNote(row);
        return note.empty() ? QVariant() : Text(note);
    }
    if (role == FailedRole)
        return IsFinalStep(row.end.finalStep) && row.end.finalStep != step::kCompleted;
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    switch (index.column()) {
        case 0:
            return Text(row.idText);
        case 1:
            return Text(row.addressText);
        case 2:
            return Text(row.model);
        case 3:
            return Text(row.version);
        case kBatchProgressColumn:
            // Drawn, not written; screen readers get the share done.
            if (role == Qt::AccessibleTextRole)
                return QString("%1%").arg(progress / 100);
            return {};
        case kBatchStatusColumn:
            if (auto note = notes_.find(index.row()); note != notes_.end())
                return note->second;
            // A configuration left behind is named where the operator looks:
            // the full path is in the tooltip and the log.
            if (!row.end.keptFile.empty() && IsFinalStep(row.end.finalStep) &&
                row.end.finalStep != step::kCompleted)
                return Text(RowStatusText(row)) +
                       " (kept: " + QFileInfo(Text(row.end.keptFile)).fileName() + ")";
            return Text(RowStatusText(row));
        default:
            return {};
    }
}

QVariant BatchListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    const auto& columns = BatchListColumns();
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(columns.size()))
        return {};
    if (role == Qt::DisplayRole)
        return columns[static_cast<size_t>(section)].title;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(columns[static_cast<size_t>(section)].alignment |
                                   Qt::AlignVCenter);
    return {};
}

void BatchListModel::RowChanged(int row) {
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void BatchListModel::SetStatusNote(int row, const QString& note) {
    if (note.isEmpty())
        notes_.erase(row);
    else
        notes_[row] = note;
    RowChanged(row);
}

BatchUpgradeList::BatchUpgradeList(BatchEngine& engine, QWidget* parent)
    : ListView(parent), engine_(engine) {
    model_ = new BatchListModel(engine_, this);
    setModel(model_);
    // The status takes the room left, and is never cut.
    ApplyColumns(BatchListColumns());
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (!following_)
            scrolledByHand_ = true;
    });
}

BatchUpgradeList::~BatchUpgradeList() = default;

bool BatchUpgradeList::AddCamera(const BatchCamera& camera) {
    const int row = Count();
    if (static_cast<size_t>(row) >= kBatchMaxRows)
        return false;
    model_->BeginAppend(row);
    const bool added = engine_.AddCamera(camera);
    model_->EndAppend();
    return added;
}

void BatchUpgradeList::Clear() {
    // The scroll bar moves with the rows, not by the operator's hand.
    following_ = true;
    model_->BeginReset();
    engine_.Clear();
    model_->EndReset();
    (void)engine_.TakeChangedRows();
    following_ = false;
}

void BatchUpgradeList::ShowChangedRows() {
    for (size_t row : engine_.TakeChangedRows())
        model_->RowChanged(static_cast<int>(row));
}

void BatchUpgradeList::ShowRow(size_t row) {
    model_->RowChanged(static_cast<int>(row));
}

void BatchUpgradeList::Follow(int row) {
    if (scrolledByHand_ || row < 0 || row >= Count())
        return;
    following_ = true;
    scrollTo(model_->index(row, 0), QAbstractItemView::PositionAtTop);
    following_ = false;
}

// The batch keeps its order: a header press only says so.
void BatchUpgradeList::HeaderPressed(int) {
    Beep();
}

void BatchUpgradeList::DrawItem(QPainter& painter, const RowPaint& row) const {
    // Selection does not show: the rows speak through their bars.
    FillRowBackground(painter, row.rect, RowBackground::Plain);
    painter.setPen(palette().color(QPalette::Active, QPalette::Text));
    for (int c = 0; c < model_->columnCount(); ++c) {
        const QRect column(ColumnLeft(c), row.rect.top(), header()->sectionSize(c),
                           row.rect.height());
        const QModelIndex index = model_->index(row.row, c);
        if (c == kBatchProgressColumn)
            DrawProgress(painter, column, index.data(BatchListModel::ProgressRole).toInt(),
                         index.data(BatchListModel::FailedRole).toBool());
        else
            DrawColumnText(painter, column, index.data(Qt::DisplayRole).toString());
    }
    RowPaint focus = row;
    focus.selected = false;
    DrawFocus(painter, focus);
}

// A grey frame under a black one, one pixel down and right, and the bar
// stretched inside the black frame over the share done.
void BatchUpgradeList::DrawProgress(QPainter& painter, const QRect& column, int32_t progress,
                                    bool failed) const {
    const int left = column.left();
    const int top = column.top();
    const int right = left + column.width();
    const int bottom = top + column.height();
    auto frame = [&painter](QPoint from, QPoint to, const QColor& colour) {
        painter.setPen(colour);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(from, QSize(to.x() - from.x(), to.y() - from.y())));
    };
    painter.save();
    frame({left + 1, top + 3}, {right - 1, bottom - 3}, kFrameGrey);
    frame({left, top + 2}, {right - 2, bottom - 4}, Qt::black);

    const int full = column.width() - 3;
    const int width = std::min(full, static_cast<int>(static_cast<int64_t>(full) *
                                                      std::max(progress, 0) / kBatchProgressFull));
    const int height = column.height() - 7;
    if (width > 0 && height > 0)
        StretchShades(painter, QRect(left + 1, top + 3, width, height),
                      failed ? FailureShades() : ProgressShades());
    painter.restore();
}

}  // namespace vcq::ui
