#include "wizard/lists/camera_list_model.h"

#include <QColor>

#include "package/resources.h"

namespace vcq::ui {

const std::vector<ListColumn>& DetectedListColumns() {
    static const std::vector<ListColumn> columns = {
        {"", 17},           {"MAC address", 123}, {"IP address", 100}, {"Model", 85},
        {"Serial No.", 50}, {"Version No.", 70},  {"Name", 50},
    };
    return columns;
}

CameraListModel::CameraListModel(CameraList& rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows) {}

int CameraListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_.Count();
}

int CameraListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(DetectedListColumns().size());
}

QVariant CameraListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.Count())
        return {};
    const CameraRow& row = rows_.Row(index.row());
    const int column = index.column();
    auto text = [&](int n) { return QString::fromStdString(row.texts[static_cast<size_t>(n)]); };
    // A camera the batch would leave alone says so beside its version.
    const QString notice = QString::fromStdString(PreBatchNotice(row.preBatch));
    const QString reason =
        notice.isEmpty() ? QString()
                         : notice + QStringLiteral(": ") +
                               QString::fromStdString(PreBatchReason(
                                   row.preBatch, row.texts[text::kVersion], PackageVersion()));
    auto shown = [&](int n) {
        if (n != text::kVersion || notice.isEmpty())
            return text(n);
        return text(n) + QStringLiteral(" (") + notice + QStringLiteral(")");
    };
    switch (role) {
        case Qt::DisplayRole:
            return column == 0 ? QVariant() : shown(column);
        case Qt::AccessibleTextRole:
            if (column == 0)
                return row.ticked ? QStringLiteral("ticked") : QStringLiteral("not ticked");
            return shown(column);
        case Qt::AccessibleDescriptionRole: {
            // What the row's colour says, and why it starts unticked.
            QString description;
            if (row.status == status::kVerified)
                description = QStringLiteral("verified (lavender)");
            else if (row.status == status::kFailed)
                description = QStringLiteral("verification failed (pink)");
            else if (row.status == status::kNoAnswer)
                description = QStringLiteral("not answering (pink)");
            if (!reason.isEmpty())
                description += (description.isEmpty() ? QString() : QStringLiteral("; ")) + reason;
            return description.isEmpty() ? QVariant() : QVariant(description);
        }
        case Qt::CheckStateRole:
            return column == 0 ? QVariant(row.ticked ? Qt::Checked : Qt::Unchecked) : QVariant();
        case StatusRole:
            return row.status;
        case Qt::ForegroundRole:
            // A camera without a password cannot be upgraded: its name shows red.
            if (column == text::kName && row.texts[text::kPassword].empty())
                return QColor(255, 0, 0);
            return {};
        case Qt::ToolTipRole:
            if (column == text::kAddress && row.texts[text::kAddress] == kDhcpText)
                return QString::fromStdString(AddressText(row.ip, row.port));
            // A long serial is cut to the column's width.
            if (column == text::kSerial && !row.texts[text::kSerial].empty())
                return text(column);
            if (column == text::kVersion && !reason.isEmpty())
                return reason;
            // Pink says refused; the pointer tells a silent camera apart.
            if (row.status == status::kNoAnswer)
                return QStringLiteral("Not answering");
            return {};
        default:
            return {};
    }
}

QVariant CameraListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    const auto& columns = DetectedListColumns();
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(columns.size()))
        return {};
    if (role == Qt::DisplayRole)
        return columns[static_cast<size_t>(section)].title;
    if (role == Qt::AccessibleTextRole && section == 0)
        return QStringLiteral("Target");
    return {};
}

bool CameraListModel::AddRow(int position, const std::string& mac, const std::string& addressText,
                             const std::string& model, const std::string& serial,
                             const std::string& version, const Ipv4& ip, int32_t port,
                             int32_t tag) {
    if ((!mac.empty() && rows_.HasMac(mac)) || rows_.Count() >= kMaxListRows)
        return false;
    position = std::clamp(position, 0, rows_.Count());
    beginInsertRows({}, position, position);
    rows_.AddRow(position, mac, addressText, model, serial, version, ip, port, tag);
    endInsertRows();
    return true;
}

int CameraListModel::Populate(const std::vector<CameraRecord>& records) {
    const int before = rows_.Count();
    CameraList added;  // dry run: which records become rows
    for (int i = 0; i < before; ++i)
        added.AddRow(i, rows_.Row(i).texts[text::kMac], "", "", "", "", {}, 80, -1);
    if (PopulateFromDiscovery(added, records) == before)
        return before;
    beginInsertRows({}, before, added.Count() - 1);
    PopulateFromDiscovery(rows_, records);
    endInsertRows();
    return rows_.Count();
}

void CameraListModel::Clear() {
    beginResetModel();
    rows_.Clear();
    endResetModel();
}

void CameraListModel::RowsChanged() {
    if (rows_.Count() > 0)
        emit dataChanged(index(0, 0), index(rows_.Count() - 1, columnCount() - 1));
}

void CameraListModel::Reordered() {
    beginResetModel();
    endResetModel();
}

}  // namespace vcq::ui
