#include "browser/CColumnList.h"

#include "browser/ColumnModel.h"
#include "ui/PlainText.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QInputMethodEvent>
#include <QMouseEvent>
#include <QPalette>

#include <utility>

CColumnList::CColumnList(QWidget* parent) : QTableView(parent), model_(new ColumnModel(this)) {
    setModel(model_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setWordWrap(false);
    setShowGrid(false);
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFrameShape(QFrame::StyledPanel);

    // Every row has the same height, so the view never measures rows.
    QHeaderView* rowsHeader = verticalHeader();
    rowsHeader->hide();
    rowsHeader->setSectionResizeMode(QHeaderView::Fixed);
    rowsHeader->setDefaultSectionSize(fontMetrics().height() + 4);
    rowsHeader->setMinimumSectionSize(1);

    QHeaderView* header = horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionsClickable(false);
    header->setStretchLastSection(false);
    header->setHighlightSections(false);

    // The selection stays visible while another control has the focus.
    QPalette colours = palette();
    colours.setColor(QPalette::Inactive, QPalette::Highlight,
                     colours.color(QPalette::Active, QPalette::Highlight));
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     colours.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(colours);
    setAttribute(Qt::WA_InputMethodEnabled);
}

void CColumnList::InsertColumn(const QString& heading, int width) {
    model_->setHeaderText(heading);
    horizontalHeader()->resizeSection(0, width);
    setAccessibleName(heading.trimmed());
}

int CColumnList::HeaderItemCount() const {
    return model_->columnCount();
}

void CColumnList::SetColumnWidth(int width) {
    if (HeaderItemCount() > 0) {
        horizontalHeader()->resizeSection(0, width);
    }
}

int CColumnList::ColumnWidth() const {
    return HeaderItemCount() > 0 ? horizontalHeader()->sectionSize(0) : 0;
}

void CColumnList::SetExtendedStyle(unsigned style) {
    setShowGrid((style & kGridLines) != 0);
    setSelectionBehavior((style & kFullRowSelect) != 0 ? QAbstractItemView::SelectRows
                                                       : QAbstractItemView::SelectItems);
}

int CColumnList::GetItemCount() const {
    return model_->rowCount();
}

QString CColumnList::GetItemText(int row) const {
    return model_->text(row);
}

QString CColumnList::GetItemDisplayText(int row) const {
    return model_->displayText(row);
}

QString CColumnList::GetItemEditText(int row) const {
    return model_->editText(row);
}

void CColumnList::SetShowsFileNames(bool fileNames) {
    model_->setShowsFileNames(fileNames);
}

void CColumnList::InsertItem(const QString& text) {
    model_->appendRow(text);
}

void CColumnList::SetItemText(int row, const QString& text) {
    model_->setRowText(row, text);
}

void CColumnList::DeleteAllItems() {
    model_->clear();
}

void CColumnList::SetItems(names::NameList rows) {
    model_->setRows(std::move(rows));
}

void CColumnList::SetRedraw(bool redraw) {
    setUpdatesEnabled(redraw);
}

int CColumnList::GetSelectedRow() const {
    const QModelIndexList selected = selectionModel()->selectedRows();
    int first = -1;
    for (const QModelIndex& index : selected) {
        if (first < 0 || index.row() < first) {
            first = index.row();
        }
    }
    return first;
}

void CColumnList::SelectRow(int row) {
    if (row < 0 || row >= GetItemCount()) {
        clearSelection();
        return;
    }
    const QModelIndex index = model_->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
}

void CColumnList::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        leftPressed_ = true;
    }
    QTableView::mousePressEvent(event);
}

void CColumnList::keyboardSearch(const QString& search) {
    const int count = model_->rowCount();
    if (count == 0 || model_->columnCount() == 0) {
        return;
    }
    // As QAbstractItemView::keyboardSearch: a key within the input interval extends the
    // search, which then starts at the current row; a new search starts below it, and so
    // does one made of a single character typed again and again.
    const QModelIndex current = currentIndex();
    int start = current.isValid() ? current.row() : 0;
    bool skipRow = false;
    const bool timed = typedTime_.isValid();
    const qint64 elapsed = timed ? typedTime_.restart() : 0;
    if (!timed) {
        typedTime_.start();
    }
    if (search.isEmpty() || !timed || elapsed > QApplication::keyboardInputInterval()) {
        typed_ = search;
        skipRow = current.isValid();
    } else {
        typed_ += search;
    }
    if (typed_.size() > 1 && typed_.count(typed_.at(typed_.size() - 1)) == typed_.size()) {
        skipRow = true;
    }
    if (skipRow) {
        start = start < count - 1 ? start + 1 : 0;
    }
    const int row = model_->findByPrefix(typed_, start);
    if (row >= 0) {
        setCurrentIndex(model_->index(row, 0));
    }
}

void CColumnList::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton) {
        return;
    }
    // A press dropped while the window waited (the second press of a double click on a
    // slow folder) is followed by a release after the wait, which must not list again.
    if (!std::exchange(leftPressed_, false)) {
        swallowRelease_ = false;
        return;
    }
    // The release that ends a double click is not a click of its own.
    if (swallowRelease_) {
        swallowRelease_ = false;
        return;
    }
    emit leftClicked();
}

void CColumnList::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) {
        swallowRelease_ = true;
        emit leftDoubleClicked();
    }
}

void CColumnList::contextMenuEvent(QContextMenuEvent* event) {
    // Only the mouse opens a column's menu; the keyboard's menu key does nothing.
    event->accept();
    if (event->reason() == QContextMenuEvent::Mouse) {
        emit rightClicked();
    }
}

bool CColumnList::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QTableView::viewportEvent(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    ShowPlainTip(help->globalPos(), index.data(Qt::ToolTipRole).toString(), viewport(),
                 visualRect(index));
    return true;
}

// Input method. Qt's item views take it only while the current item is editable, and
// turn it off again whenever the current item changes or the view gets the focus; a
// column's rows never are, yet the type-ahead needs Chinese as much as Latin keys.

QVariant CColumnList::inputMethodQuery(Qt::InputMethodQuery query) const {
    if (query == Qt::ImCursorRectangle) {
        // The candidate window opens by the current row, or at the top of the rows.
        const QRect rows = viewport()->geometry();
        const QRect row = visualRect(currentIndex()).translated(rows.topLeft());
        if (currentIndex().isValid() && row.intersects(rows)) {
            return row.intersected(rows);
        }
        return QRect(rows.topLeft(), QSize(rows.width(), verticalHeader()->defaultSectionSize()));
    }
    return QTableView::inputMethodQuery(query);
}

void CColumnList::inputMethodEvent(QInputMethodEvent* event) {
    composing_ = !event->preeditString().isEmpty();
    if (!event->commitString().isEmpty()) {
        keyboardSearch(event->commitString());
    }
    event->accept();
}

void CColumnList::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape during composition end it; they must not close the window.
    if (composing_) {
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CColumnList::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    setAttribute(Qt::WA_InputMethodEnabled);
}

void CColumnList::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    composing_ = false;
}

void CColumnList::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    setAttribute(Qt::WA_InputMethodEnabled);
}
