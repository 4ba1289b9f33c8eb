#pragma once

#include "names/NameList.h"

#include <QElapsedTimer>
#include <QString>
#include <QTableView>

#include <optional>

class ColumnModel;

// One browser column: a single-column list in report style, with a header, grid lines
// and full-row single selection that stays visible without the focus. It reports every
// left click, double click and right click on its area (rows or empty space) after it
// has updated its own selection.
class CColumnList : public QTableView {
    Q_OBJECT
public:
    // Extended style bits: grid lines, full-row selection.
    static constexpr unsigned kGridLines = 0x01;
    static constexpr unsigned kFullRowSelect = 0x20;

    explicit CColumnList(QWidget* parent = nullptr);

    void InsertColumn(const QString& heading, int width);
    [[nodiscard]] int HeaderItemCount() const;
    void SetColumnWidth(int width);
    [[nodiscard]] int ColumnWidth() const;
    void SetExtendedStyle(unsigned style);

    [[nodiscard]] int GetItemCount() const;
    // The row's text as stored; for a file name, the text that encodes back to its bytes.
    [[nodiscard]] QString GetItemText(int row) const;
    // The row's text as the column shows it (a GBK file name as its Chinese text, hidden
    // and control characters as visible stand-ins).
    [[nodiscard]] QString GetItemDisplayText(int row) const;
    // The row's real characters as the user reads them, for a prompt that edits it.
    [[nodiscard]] QString GetItemEditText(int row) const;
    // Level columns list file names; the root column holds texts shown as stored.
    void SetShowsFileNames(bool fileNames);
    // Appends `text` as the last row (rows are only ever added at the end).
    void InsertItem(const QString& text);
    void SetItemText(int row, const QString& text);
    void DeleteAllItems();
    // Replaces all rows at once; the fast path for listing a folder.
    void SetItems(names::NameList rows);
    void SetRedraw(bool redraw);

    // The first selected row, or -1.
    [[nodiscard]] int GetSelectedRow() const;
    void SelectRow(int row);

    // The folder this column was last listed from, if it was listed from one.
    [[nodiscard]] const std::optional<QString>& ListedFrom() const { return listedFrom_; }
    void SetListedFrom(std::optional<QString> folder) { listedFrom_ = std::move(folder); }
    // Where that folder really was when it was listed, links and ".." resolved as the
    // kernel resolves them; empty where its text says so itself.
    [[nodiscard]] const QString& RealFolder() const { return realFolder_; }
    void SetRealFolder(QString folder) { realFolder_ = std::move(folder); }

    [[nodiscard]] ColumnModel* Model() const { return model_; }

    // Type-ahead: selects the next row whose text starts with what was typed, or reads
    // it as pinyin, in the order and with the search text of QAbstractItemView's own
    // search; found through the name order where the rows have one.
    void keyboardSearch(const QString& search) override;

    // Where the input method's candidate window goes.
    [[nodiscard]] QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

signals:
    void leftClicked();
    void leftDoubleClicked();
    void rightClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // A row's tip shows its text as plain text.
    bool viewportEvent(QEvent* event) override;
    // Text committed by an input method extends the type-ahead as typed keys do; while it
    // composes, keys are its own.
    void inputMethodEvent(QInputMethodEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    ColumnModel* model_;
    std::optional<QString> listedFrom_;
    QString realFolder_;
    bool swallowRelease_ = false;
    // Whether the left button's last press reached the column. One dropped during a wait
    // on the file helper did not, and its release is no click.
    bool leftPressed_ = false;
    // What the type-ahead has been given so far, and since when.
    QString typed_;
    QElapsedTimer typedTime_;
    // Whether an input method shows text it has not committed yet.
    bool composing_ = false;
};
