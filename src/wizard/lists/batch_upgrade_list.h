// The batch list of automatic mode: one row per ticked camera with its
// status text and progress bar, drawn whole. It owns the batch engine and
// ticks it from its 33 ms timer. Rows are not sorted, ticked or opened: a
// header press only beeps, and the rows get the plain list behaviour.
#pragma once

#include <QAbstractTableModel>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "upgrade/batch_engine.h"
#include "wizard/lists/list_view.h"

namespace vcq::ui {

inline constexpr uint32_t kBatchEngineTimer = 0x8012;

// The columns of the batch list; the bar is drawn in column 4.
const std::vector<ListColumn>& BatchListColumns();
inline constexpr int kBatchProgressColumn = 4;
inline constexpr int kBatchStatusColumn = 5;

// The progress bar's 11 shades, top first, stretched over the bar's height.
const std::array<QColor, 11>& ProgressShades();

// The engine's rows as a Qt model: ID, address, model, version, (bar), status.
class BatchListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // The progress of a row, 0 to 10000 (column 4).
    static constexpr int ProgressRole = Qt::UserRole + 2;

    explicit BatchListModel(const BatchEngine& engine, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }
    void BeginAppend(int row) { beginInsertRows({}, row, row); }
    void EndAppend() { endInsertRows(); }
    void RowChanged(int row);

  private:
    const BatchEngine& engine_;
};

class BatchUpgradeList : public ListView {
    Q_OBJECT
  public:
    BatchUpgradeList(BatchJobFactory factory, QWidget* parent = nullptr);
    ~BatchUpgradeList() override;

    // False when the batch is full.
    bool AddCamera(const BatchCamera& camera);
    // Drops every row and job.
    void Clear();
    void SetSharedSettings(bool retain, bool deleteAfterRestore, std::time_t startTime) {
        engine_.SetSharedSettings(retain, deleteAfterRestore, startTime);
    }
    // Starts the engine's 33 ms timer.
    void StartEngine();
    bool EngineRunning() const { return ListTimerActive(kBatchEngineTimer); }
    void RequestCancel() { engine_.RequestCancel(); }

    int Count() const { return static_cast<int>(engine_.RowCount()); }
    size_t ActiveCount() const { return engine_.ActiveCount(); }
    const BatchRow& Row(int row) const { return engine_.Row(static_cast<size_t>(row)); }
    std::string LogLine(int row) const { return engine_.LogLine(static_cast<size_t>(row)); }
    std::string LogText() const { return engine_.LogText(); }
    BatchEngine& Engine() { return engine_; }

  protected:
    void DrawItem(QPainter& painter, const RowPaint& row) const override;
    void HeaderPressed(int column) override;
    void OnListTimer(uint32_t id) override;

  private:
    void DrawProgress(QPainter& painter, const QRect& column, int32_t progress) const;
    // Repaints the rows the engine changed since the last call.
    void ShowChangedRows();

    BatchEngine engine_;
    BatchListModel* model_;
};

}  // namespace vcq::ui
