// The verification list of the add-other-cameras dialog: the cameras entered
// by hand, from a file or the clipboard, with what "inq=sysinfo" found.
// Rows whose address is entered twice are amber, those already detected are
// pink, and rows that are not a supported camera are drawn grey. The rows and
// their rules are VerifyListModel's; this view draws them, sorts by header
// and opens a camera's web page on double-click.
#pragma once

#include <QAbstractTableModel>

#include <optional>
#include <vector>

#include "targets/verify_list_model.h"
#include "wizard/lists/list_view.h"

namespace vcq::ui {

// "ID", "IP address", "Model", "Serial No.", "Version No.".
const std::vector<ListColumn>& VerifyListColumns();

// The text colour of rows that are not a supported camera (the desktop's
// application-workspace grey).
inline const QColor kInvalidRowText{171, 171, 171};

class VerifyTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    VerifyTableModel(const VerifyListModel& rows, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Rows were added, deleted or reordered.
    void Reset();
    // Texts or marks changed.
    void RowsChanged();

  private:
    const VerifyListModel& rows_;
};

class VerifyList : public ListView {
    Q_OBJECT
  public:
    VerifyList(VerifyListModel& rows, QWidget* parent = nullptr);

    VerifyTableModel& Model() { return *model_; }
    std::optional<size_t> SelectedRow() const;
    // Selects (and focuses) the row, or clears the selection; no UserSelected.
    void SelectRow(std::optional<size_t> row);
    // Rows were added, deleted or reordered; the selection is set again by
    // the caller.
    void Reset();
    void RowsChanged() { model_->RowsChanged(); }

  signals:
    // The operator changed the selection, clicked or right-clicked a row.
    void UserSelected();

  protected:
    void DrawItem(QPainter& painter, const RowPaint& row) const override;
    void HeaderPressed(int column) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

  private:
    VerifyListModel& rows_;
    VerifyTableModel* model_;
    bool quiet_ = false;  // selection changes of our own making
};

}  // namespace vcq::ui
