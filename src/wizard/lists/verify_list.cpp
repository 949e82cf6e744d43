#include "wizard/lists/verify_list.h"

#include <QHeaderView>
#include <QMouseEvent>

#include <algorithm>

namespace vcq::ui {

const std::vector<ListColumn>& VerifyListColumns() {
    static const std::vector<ListColumn> columns = {
        {"ID", 30, Qt::AlignRight},         {"IP address", 140, Qt::AlignLeft},
        {"Model", 85, Qt::AlignLeft},       {"Serial No.", 60, Qt::AlignLeft},
        {"Version No.", 90, Qt::AlignLeft},
    };
    return columns;
}

VerifyTableModel::VerifyTableModel(const VerifyListModel& rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows) {}

int VerifyTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.RowCount());
}

int VerifyTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(VerifyListColumns().size());
}

QVariant VerifyTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= rows_.RowCount())
        return {};
    const VerifyRow& row = rows_.RowAt(static_cast<size_t>(index.row()));
    const QString text = QString::fromStdString(row.texts[static_cast<size_t>(index.column())]);
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return text;
        case Qt::ForegroundRole:
            return row.validity == 2 ? QVariant(kInvalidRowText) : QVariant();
        case Qt::AccessibleDescriptionRole:
            // What the colours say, for screen readers.
            if (row.duplicate == 1)
                return QStringLiteral("address entered twice");
            if (row.duplicate == 2)
                return QStringLiteral("address already detected");
            if (row.validity == 2)
                return QStringLiteral("not a supported camera");
            return {};
        default:
            return {};
    }
}

QVariant VerifyTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    const auto& columns = VerifyListColumns();
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(columns.size()))
        return {};
    const ListColumn& column = columns[static_cast<size_t>(section)];
    if (role == Qt::DisplayRole)
        return column.title;
    if (role == Qt::TextAlignmentRole)
        return (column.alignment | Qt::AlignVCenter).toInt();
    return {};
}

void VerifyTableModel::Reset() {
    beginResetModel();
    endResetModel();
}

void VerifyTableModel::RowsChanged() {
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

VerifyList::VerifyList(VerifyListModel& rows, QWidget* parent) : ListView(parent), rows_(rows) {
    model_ = new VerifyTableModel(rows_, this);
    setModel(model_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    ApplyColumns(VerifyListColumns());
    // The ids must stay readable in larger fonts than the desktop's.
    const int idWidth =
        fontMetrics().horizontalAdvance(QStringLiteral("000")) + 2 * kColumnInset + 2;
    header()->resizeSection(0, std::max(VerifyListColumns()[0].width, idWidth));
}

std::optional<size_t> VerifyList::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    return static_cast<size_t>(rows.front().row());
}

void VerifyList::SelectRow(std::optional<size_t> row) {
    quiet_ = true;
    if (row && *row < rows_.RowCount()) {
        const QModelIndex index = model_->index(static_cast<int>(*row), 0);
        selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(index);
    } else {
        selectionModel()->clearSelection();
    }
    quiet_ = false;
}

void VerifyList::Reset() {
    quiet_ = true;
    model_->Reset();
    quiet_ = false;
}

void VerifyList::DrawItem(QPainter& painter, const RowPaint& paint) const {
    const VerifyRow& row = rows_.RowAt(static_cast<size_t>(paint.row));
    RowBackground background = RowBackground::Plain;
    if (row.duplicate == 1)
        background = RowBackground::Duplicate;
    else if (row.duplicate == 2)
        background = RowBackground::Refused;
    DrawTexts(painter, paint, 0, DrawBackground(painter, paint, background));
    DrawFocus(painter, paint);
}

void VerifyList::HeaderPressed(int column) {
    // The selection goes with its row, found by id.
    const std::optional<size_t> selected = SelectedRow();
    const std::optional<int32_t> id =
        selected ? std::optional<int32_t>(rows_.RowAt(*selected).index) : std::nullopt;
    rows_.SortByColumn(column);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column,
                               rows_.SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    Reset();
    SelectRow(id ? rows_.PositionOf(*id) : std::nullopt);
}

void VerifyList::mousePressEvent(QMouseEvent* event) {
    ListView::mousePressEvent(event);
    if (RowAt(event->position().toPoint()) >= 0)
        emit UserSelected();  // a click on the selected row changes nothing, yet counts
}

void VerifyList::mouseDoubleClickEvent(QMouseEvent* event) {
    const int row = RowAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && row >= 0) {
        const VerifyRow& camera = rows_.RowAt(static_cast<size_t>(row));
        OpenUrl(QUrl(QString::fromStdString(WebPageUrl(camera.ip, camera.port))));
    }
    ListView::mouseDoubleClickEvent(event);
}

void VerifyList::selectionChanged(const QItemSelection& selected,
                                  const QItemSelection& deselected) {
    ListView::selectionChanged(selected, deselected);
    if (!quiet_)
        emit UserSelected();
}

}  // namespace vcq::ui
