// The detected camera list's rows as a Qt model: column n shows text n, the
// first column the tick. Changes to the rows go through here so the views
// hear of them.
#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "targets/camera_list.h"
#include "wizard/lists/list_view.h"

namespace vcq::ui {

// The columns of the detected camera list.
const std::vector<ListColumn>& DetectedListColumns();

class CameraListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit CameraListModel(CameraList& rows, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    CameraList& Rows() { return rows_; }
    const CameraList& Rows() const { return rows_; }

    bool AddRow(int position, const std::string& mac, const std::string& addressText,
                const std::string& model, const std::string& serial, const std::string& version,
                const Ipv4& ip, int32_t port, int32_t tag);
    int Populate(const std::vector<CameraRecord>& records);
    void Clear();
    // The rows' values changed (ticks, logins, statuses).
    void RowsChanged();
    // The rows were reordered.
    void Reordered();

  private:
    CameraList& rows_;
};

}  // namespace vcq::ui
