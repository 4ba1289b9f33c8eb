#pragma once

#include "names/NameList.h"
#include "names/PrefixSearch.h"

#include <QAbstractTableModel>
#include <QTimer>

// The rows of one browser column: texts only, kept as encoded names so that a folder of
// a million entries costs little more than its names. A row is decoded when it is shown.
class ColumnModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ColumnModel(QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

    void setHeaderText(const QString& text);
    [[nodiscard]] bool hasHeader() const { return hasHeader_; }

    // Whether the rows are file names listed from a folder, read as a reader reads them
    // (names::displayName), or texts read exactly as stored.
    void setShowsFileNames(bool fileNames) { fileNames_ = fileNames; }
    [[nodiscard]] bool showsFileNames() const { return fileNames_; }

    // The row as stored: for a file name, the text that encodes back to its bytes, from
    // which paths are formed.
    [[nodiscard]] QString text(int row) const;
    // The row as the column shows it: its text as a reader reads it, with a visible
    // stand-in for every character that could hide, reorder or break it
    // (names::visibleText). For rows, tips, messages and screen readers.
    [[nodiscard]] QString displayText(int row) const;
    // The row with its real characters as a reader reads them (a GBK file name as its
    // Chinese text), no stand-ins: what a prompt is filled with for editing.
    [[nodiscard]] QString editText(int row) const;
    // Replaces all rows in one reset: a listed folder's names, in name order (sortNames).
    void setRows(names::NameList rows);
    // Appends a row after the others, whatever its place in the name order.
    void appendRow(const QString& text);
    // Gives one row another text, keeping the others and the selection.
    void setRowText(int row, const QString& text);
    void clear();
    [[nodiscard]] const names::NameList& rows() const { return rows_; }

    // The first row from `start` on, wrapping round, whose displayed text starts with
    // `prefix` regardless of case, as QAbstractItemModel::match finds it for a list's
    // type-ahead, or reads it as pinyin (names::pinyin::typedMatches); -1 when none does.
    [[nodiscard]] int findByPrefix(const QString& prefix, int start);

private:
    [[nodiscard]] names::PrefixSearch::DisplayText displayTexts() const;

    names::NameList rows_;
    names::PrefixSearch search_;
    // Learns what the search needs of a listed folder's rows in slices while the window
    // is idle, so that the first key typed finds it done.
    QTimer learning_;
    // Whether the rows are in name order, as a folder's listing gives them.
    bool inNameOrder_ = true;
    QString header_;
    bool hasHeader_ = false;
    bool fileNames_ = false;
};
