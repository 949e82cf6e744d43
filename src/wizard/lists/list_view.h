// The base of the wizard's camera lists: a report-style list whose rows are
// drawn whole by DrawItem, with columns that widen to their texts, a header
// whose presses (not on the dividers) go to HeaderPressed, and window-style
// timers by id that go to OnListTimer. The detected camera list, the batch
// list and the verification list derive from it and replace what they need.
#pragma once

#include <QStyledItemDelegate>
#include <QTreeView>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "wizard/lists/row_painting.h"

class QTimer;

namespace vcq::ui {

struct ListColumn {
    QString title;
    int width = 50;  // pixels at a 6-pixel average character width
    Qt::Alignment alignment = Qt::AlignLeft;
};

// Roles a list's model answers besides the standard ones.
enum ListRole {
    StatusRole = Qt::UserRole + 1,  // int: the row's verification status (column 0)
};

// What DrawItem is told about a row.
struct RowPaint {
    int row = -1;
    QRect rect;  // from the list's left edge to at least the viewport's right edge
    bool selected = false;
    bool focused = false;  // the current row while the list has the focus
    bool disabled = false;
};

class ListView : public QTreeView {
    Q_OBJECT
  public:
    explicit ListView(QWidget* parent = nullptr);
    ~ListView() override;

    // Sets the model's columns' starting widths (call after setModel). From
    // then on each column widens to its widest text as rows come and change,
    // and the last one takes the room the window leaves.
    void ApplyColumns(const std::vector<ListColumn>& columns);
    // Fits the columns now (else soon after a change).
    void FitColumns();
    int RowHeight() const { return rowHeight_; }
    // The row at a point of the viewport, or -1.
    int RowAt(const QPoint& point) const;
    // Where column `column` starts and ends in the viewport.
    int ColumnLeft(int column) const;
    int ColumnRight(int column) const;

    void StartListTimer(uint32_t id, int periodMs);
    void KillListTimer(uint32_t id);
    bool ListTimerActive(uint32_t id) const;

    // Opens a camera's web page; the desktop's browser unless replaced.
    using UrlOpener = std::function<void(const QUrl&)>;
    static void SetUrlOpener(UrlOpener opener);
    static void OpenUrl(const QUrl& url);

  protected:
    // Draws one row whole; the default draws the row as the detected camera
    // list does: background by status or selection, the tick image in column
    // 0 when the model has a check state there, the texts of the other
    // columns with the ellipsis rule, and the focus rectangle.
    virtual void DrawItem(QPainter& painter, const RowPaint& row) const;
    // A left press on header section `column`, away from its dividers.
    virtual void HeaderPressed(int column);
    virtual void OnListTimer(uint32_t id);
    // Ctrl+1, Ctrl+2, ...: the header of column 0, 1, ... from the keyboard.
    void keyPressEvent(QKeyEvent* event) override;

    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Rows are drawn to the viewport's right edge, past the last column: a
    // change of selection or focus repaints them whole.
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

    // Shared parts of DrawItem for derived lists.
    // Returns the colour the row's texts stand on. A selected row keeps its
    // `background` at its left edge (the tick column, when it has one).
    QColor DrawBackground(QPainter& painter, const RowPaint& row, RowBackground background) const;
    // A text whose colour would not read on `background` is drawn darker.
    void DrawTexts(QPainter& painter, const RowPaint& row, int firstColumn,
                   const QColor& background) const;
    void DrawFocus(QPainter& painter, const RowPaint& row) const;
    QColor TextColour(const RowPaint& row) const;

    void resizeEvent(QResizeEvent* event) override;

  private:
    void UpdateWholeRow(const QModelIndex& index);
    // The width column `c` needs: its header's and its widest cell's text.
    int NeededWidth(int c) const;
    void FitLastColumn();
    class RowDelegate;
    std::vector<int> startWidths_;  // by column, as ApplyColumns set them
    QTimer* fitTimer_ = nullptr;
    int rowHeight_ = 17;
    std::map<uint32_t, QTimer*> timers_;
};

}  // namespace vcq::ui
