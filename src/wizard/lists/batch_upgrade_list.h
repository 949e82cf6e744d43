// The batch list of automatic mode: a view of the batch engine's rows, one
// per ticked camera with its status text and progress bar, drawn whole. The
// engine belongs to whoever runs the batch; the list is told when rows
// change. Rows are not sorted, ticked or opened: a header press only beeps,
// and the rows get the plain list behaviour.
#pragma once

#include <QAbstractTableModel>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "upgrade/batch_engine.h"
#include "wizard/lists/list_view.h"

namespace vcq::ui {

// The columns of the batch list; the bar is drawn in column 4.
const std::vector<ListColumn>& BatchListColumns();
inline constexpr int kBatchProgressColumn = 4;
inline constexpr int kBatchStatusColumn = 5;

// The progress bar's 11 shades, top first, stretched over the bar's height.
const std::array<QColor, 11>& ProgressShades();
// The same bar in red for a camera that failed, so it stands out from the
// completed ones.
const std::array<QColor, 11>& FailureShades();

// The engine's rows as a Qt model: ID, address, model, version, (bar), status.
class BatchListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // The progress of a row, 0 to 10000 (column 4).
    static constexpr int ProgressRole = Qt::UserRole + 2;
    // Whether the row's camera ended in a failure (bool).
    static constexpr int FailedRole = Qt::UserRole + 3;

    explicit BatchListModel(const BatchEngine& engine, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void BeginReset() {
        beginResetModel();
        notes_.clear();
    }
    void EndReset() { endResetModel(); }
    void BeginAppend(int row) { beginInsertRows({}, row, row); }
    void EndAppend() { endInsertRows(); }
    void RowChanged(int row);
    // What the status column shows for the row instead of its status (the
    // page's "Testing..." of a login); empty shows the status again.
    void SetStatusNote(int row, const QString& note);

  private:
    const BatchEngine& engine_;
    std::map<int, QString> notes_;
};

class BatchUpgradeList : public ListView {
    Q_OBJECT
  public:
    // Shows `engine`'s rows; the engine outlives the list.
    explicit BatchUpgradeList(BatchEngine& engine, QWidget* parent = nullptr);
    ~BatchUpgradeList() override;

    // Rows come and go through here, so the view hears of them.
    // False when the batch is full.
    bool AddCamera(const BatchCamera& camera);
    // Drops every row and job.
    void Clear();
    // Repaints the rows the engine changed since the last call.
    void ShowChangedRows();
    // Repaints one row the batch driver said changed.
    void ShowRow(size_t row);
    void SetStatusNote(size_t row, const std::string& note) {
        model_->SetStatusNote(static_cast<int>(row), QString::fromStdString(note));
    }

    // Keeps `row` in view, unless the operator scrolled the list by hand
    // since following began.
    void Follow(int row);
    // Following begins (again): a new batch.
    void RestartFollowing() { scrolledByHand_ = false; }
    bool ScrolledByHand() const { return scrolledByHand_; }

    int Count() const { return static_cast<int>(engine_.RowCount()); }
    size_t ActiveCount() const { return engine_.ActiveCount(); }
    const BatchRow& Row(int row) const { return engine_.Row(static_cast<size_t>(row)); }
    std::string LogLine(int row) const { return engine_.LogLine(static_cast<size_t>(row)); }
    std::string LogText() const { return engine_.LogText(); }
    const BatchEngine& Engine() const { return engine_; }

  protected:
    void DrawItem(QPainter& painter, const RowPaint& row) const override;
    void HeaderPressed(int column) override;

  private:
    void DrawProgress(QPainter& painter, const QRect& column, int32_t progress, bool failed) const;

    BatchEngine& engine_;
    BatchListModel* model_;
    bool following_ = false;  // the list scrolls itself: not by hand
    bool scrolledByHand_ = false;
};

}  // namespace vcq::ui
