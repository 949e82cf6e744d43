#include "wizard/lists/list_view.h"

#include <QDesktopServices>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTimer>

#include <algorithm>

#include "wizard/ui_text.h"

namespace vcq::ui {
namespace {

ListView::UrlOpener& Opener() {
    static ListView::UrlOpener opener;
    return opener;
}

// Presses this close to a divider resize the column instead of sorting.
constexpr int kHeaderDividerSlack = 4;

}  // namespace

// Fixed-height rows: the height of the row backgrounds, or more for a larger font.
class ListView::RowDelegate : public QStyledItemDelegate {
  public:
    RowDelegate(ListView* view) : QStyledItemDelegate(view), view_(view) {}
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return {1, view_->rowHeight_};
    }

  private:
    ListView* view_;
};

ListView::ListView(QWidget* parent) : QTreeView(parent) {
    rowHeight_ = std::max(17, fontMetrics().height() + 4);
    setItemDelegate(new RowDelegate(this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);  // moves without a button reach the tooltip
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(false);
    header()->setSectionsMovable(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header()->setTextElideMode(Qt::ElideRight);
    header()->viewport()->installEventFilter(this);
}

ListView::~ListView() = default;

// The widths are those of a 6-pixel average character; a larger font gets
// wider columns so the same texts fit.
void ListView::ApplyColumns(const std::vector<ListColumn>& columns) {
    const int average = std::max(6, DialogUnitsX(4));
    startWidths_.clear();
    for (size_t c = 0; c < columns.size(); ++c) {
        startWidths_.push_back(columns[c].width * average / 6);
        header()->resizeSection(static_cast<int>(c), startWidths_.back());
    }
    // Changes come in bursts (a batch changes rows every tick): fitted once
    // for each burst, never on every change.
    if (!fitTimer_) {
        fitTimer_ = new QTimer(this);
        fitTimer_->setSingleShot(true);
        fitTimer_->setInterval(200);
        connect(fitTimer_, &QTimer::timeout, this, &ListView::FitColumns);
    }
    QAbstractItemModel* source = model();
    if (!source)
        return;
    auto soon = [this] {
        if (!fitTimer_->isActive())
            fitTimer_->start();
    };
    connect(source, &QAbstractItemModel::dataChanged, fitTimer_, soon);
    connect(source, &QAbstractItemModel::rowsInserted, fitTimer_, soon);
    connect(source, &QAbstractItemModel::modelReset, fitTimer_, soon);
    FitColumns();
}

int ListView::NeededWidth(int c) const {
    int cells = 0;
    const QFontMetrics metrics = fontMetrics();
    for (int row = 0; row < model()->rowCount(); ++row) {
        const QString text = model()->index(row, c).data(Qt::DisplayRole).toString();
        if (!text.isEmpty())
            cells = std::max(cells, metrics.horizontalAdvance(text) + 2 * kColumnInset + 2);
    }
    // A column of no text (a tick box, a bar) keeps the width it was given.
    if (cells == 0)
        return startWidths_[static_cast<size_t>(c)];
    const QString title = model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    return std::max(cells, header()->fontMetrics().horizontalAdvance(title) + 3 * kColumnInset);
}

void ListView::FitColumns() {
    if (!model() || startWidths_.empty())
        return;
    const int last = static_cast<int>(startWidths_.size()) - 1;
    // Empty, a list shows its columns as given; with rows, each as wide as
    // its texts.
    for (int c = 0; c < last; ++c) {
        const int width =
            model()->rowCount() > 0 ? NeededWidth(c) : startWidths_[static_cast<size_t>(c)];
        if (width != header()->sectionSize(c))
            header()->resizeSection(c, width);
    }
    FitLastColumn();
}

// The last column shows its widest text whole and fills what the window
// leaves beside the others.
void ListView::FitLastColumn() {
    if (!model() || startWidths_.empty())
        return;
    const int last = static_cast<int>(startWidths_.size()) - 1;
    int others = 0;
    for (int c = 0; c < last; ++c)
        others += header()->sectionSize(c);
    const int text = model()->rowCount() > 0 ? NeededWidth(last) : startWidths_.back();
    const int width = std::max(text, viewport()->width() - others);
    if (width != header()->sectionSize(last))
        header()->resizeSection(last, width);
}

void ListView::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    FitLastColumn();
}

int ListView::RowAt(const QPoint& point) const {
    const QModelIndex index = indexAt(QPoint(std::max(0, ColumnLeft(0)), point.y()));
    return index.isValid() ? index.row() : -1;
}

int ListView::ColumnLeft(int column) const {
    return header()->sectionViewportPosition(column);
}

int ListView::ColumnRight(int column) const {
    return ColumnLeft(column) + header()->sectionSize(column);
}

void ListView::StartListTimer(uint32_t id, int periodMs) {
    QTimer*& timer = timers_[id];
    if (!timer) {
        timer = new QTimer(this);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, id] { OnListTimer(id); });
    }
    timer->start(periodMs);  // a running timer starts its period again
}

void ListView::KillListTimer(uint32_t id) {
    if (auto it = timers_.find(id); it != timers_.end())
        it->second->stop();
}

bool ListView::ListTimerActive(uint32_t id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

void ListView::OnListTimer(uint32_t) {}

void ListView::HeaderPressed(int) {}

void ListView::keyPressEvent(QKeyEvent* event) {
    // Ctrl+1, Ctrl+2, ... sort as a click on that column's header would.
    const int column = event->key() - Qt::Key_1;
    if (event->modifiers() == Qt::ControlModifier && column >= 0 && column < 9 && model() &&
        column < model()->columnCount()) {
        HeaderPressed(column);
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void ListView::SetUrlOpener(UrlOpener opener) {
    Opener() = std::move(opener);
}

void ListView::OpenUrl(const QUrl& url) {
    if (Opener())
        Opener()(url);
    else
        QDesktopServices::openUrl(url);
}

bool ListView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == header()->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const int x = mouse->position().toPoint().x();
        const int column = header()->logicalIndexAt(x);
        if (mouse->button() == Qt::LeftButton && column >= 0) {
            const int left = header()->sectionViewportPosition(column);
            const int right = left + header()->sectionSize(column);
            if (x >= left + kHeaderDividerSlack && x < right - kHeaderDividerSlack)
                HeaderPressed(column);
        }
    }
    return QTreeView::eventFilter(watched, event);
}

void ListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                       const QModelIndex& index) const {
    RowPaint row;
    row.row = index.row();
    const int left = -horizontalOffset();
    const int width = std::max(header()->length(), viewport()->width() + horizontalOffset());
    row.rect = QRect(left, option.rect.top(), width, option.rect.height());
    row.selected = selectionModel() && selectionModel()->isRowSelected(index.row(), index.parent());
    row.focused = hasFocus() && currentIndex().isValid() && currentIndex().row() == index.row();
    row.disabled = !isEnabled();
    painter->save();
    DrawItem(*painter, row);
    painter->restore();
}

void ListView::UpdateWholeRow(const QModelIndex& index) {
    if (!index.isValid())
        return;
    const QRect rect = visualRect(index);
    viewport()->update(QRect(0, rect.top(), viewport()->width(), rect.height()));
}

void ListView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QTreeView::selectionChanged(selected, deselected);
    for (const QItemSelection* change : {&selected, &deselected})
        for (const QItemSelectionRange& range : *change)
            for (int row = range.top(); row <= range.bottom(); ++row)
                UpdateWholeRow(model()->index(row, 0, range.parent()));
}

void ListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    UpdateWholeRow(current);
    UpdateWholeRow(previous);
}

QColor ListView::DrawBackground(QPainter& painter, const RowPaint& row,
                                RowBackground background) const {
    if (row.disabled && !row.selected) {
        painter.fillRect(row.rect, palette().color(QPalette::Button));
        return palette().color(QPalette::Button);
    }
    if (!row.selected) {
        FillRowBackground(painter, row.rect, background);
        return BodyShade(background);
    }
    FillRowBackground(painter, row.rect, RowBackground::Highlighted);
    // The selection hides the verification colour no longer: it stays at the
    // row's left, under the tick or before the first text.
    if (background != RowBackground::Plain) {
        const bool ticks = model()->index(row.row, 0).data(Qt::CheckStateRole).isValid();
        const int width = ticks ? header()->sectionSize(0) : kColumnInset - 1;
        FillRowBackground(painter, QRect(ColumnLeft(0), row.rect.top(), width, row.rect.height()),
                          background);
    }
    return BodyShade(RowBackground::Highlighted);
}

QColor ListView::TextColour(const RowPaint& row) const {
    if (row.disabled)
        return palette().color(QPalette::Disabled, QPalette::Text);
    if (row.selected)
        return palette().color(QPalette::Active, QPalette::HighlightedText);
    return palette().color(QPalette::Active, QPalette::Text);
}

void ListView::DrawTexts(QPainter& painter, const RowPaint& row, int firstColumn,
                         const QColor& background) const {
    const int columns = model()->columnCount();
    for (int c = firstColumn; c < columns; ++c) {
        const QModelIndex index = model()->index(row.row, c);
        const QString text = index.data(Qt::DisplayRole).toString();
        if (text.isEmpty())
            continue;
        const QVariant foreground = index.data(Qt::ForegroundRole);
        painter.setPen(foreground.isValid() ? ReadableOn(foreground.value<QColor>(), background)
                                            : TextColour(row));
        const QRect column(ColumnLeft(c), row.rect.top(), header()->sectionSize(c),
                           row.rect.height());
        DrawColumnText(painter, column, text);
    }
}

void ListView::DrawFocus(QPainter& painter, const RowPaint& row) const {
    if (!row.focused)
        return;
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = row.rect.adjusted(0, 0, -1, 0) & viewport()->rect().adjusted(0, 0, -1, 0);
    focus.backgroundColor = palette().color(row.selected ? QPalette::Highlight : QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
}

void ListView::DrawItem(QPainter& painter, const RowPaint& row) const {
    const QModelIndex first = model()->index(row.row, 0);
    RowBackground background = RowBackground::Verified;
    switch (first.data(StatusRole).toInt()) {
        case 0:
            background = RowBackground::Plain;
            break;
        case 1:
        case 3:  // refused, or never answered
            background = RowBackground::Refused;
            break;
        default:
            break;
    }
    const QColor behindText = DrawBackground(painter, row, background);
    int firstText = 0;
    const QVariant check = first.data(Qt::CheckStateRole);
    if (check.isValid()) {
        const bool ticked = check.toInt() == Qt::Checked;
        const TickImage image = row.disabled
                                    ? (ticked ? TickImage::Disabled : TickImage::DisabledEmpty)
                                    : (ticked ? TickImage::Ticked : TickImage::Empty);
        painter.drawPixmap(ColumnLeft(0), row.rect.top(), TickPixmap(image, row.rect.height()));
        firstText = 1;
    }
    DrawTexts(painter, row, firstText, behindText);
    DrawFocus(painter, row);
}

}  // namespace vcq::ui
