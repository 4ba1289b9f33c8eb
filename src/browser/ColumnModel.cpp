#include "browser/ColumnModel.h"

#include "names/NameCodec.h"
#include "names/VisibleText.h"

#include <algorithm>
#include <chrono>

namespace {
// The longest the window's thread spends learning before it handles its events again.
constexpr auto kLearningSlice = std::chrono::milliseconds(4);
} // namespace

ColumnModel::ColumnModel(QObject* parent) : QAbstractTableModel(parent) {
    learning_.setInterval(0);
    connect(&learning_, &QTimer::timeout, this, [this] {
        if (!fileNames_ || search_.learn(rows_, displayTexts(),
                                         std::chrono::steady_clock::now() + kLearningSlice)) {
            learning_.stop();
        }
    });
}

int ColumnModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ColumnModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !hasHeader_ ? 0 : 1;
}

QVariant ColumnModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole || role == Qt::ToolTipRole) {
        return displayText(index.row());
    }
    return {};
}

QVariant ColumnModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section == 0 &&
        (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)) {
        return header_;
    }
    return {};
}

void ColumnModel::setHeaderText(const QString& text) {
    if (!hasHeader_) {
        beginInsertColumns({}, 0, 0);
        header_ = text;
        hasHeader_ = true;
        endInsertColumns();
    } else {
        header_ = text;
        emit headerDataChanged(Qt::Horizontal, 0, 0);
    }
}

QString ColumnModel::text(int row) const {
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    return names::decodeName(rows_.at(static_cast<std::size_t>(row)));
}

QString ColumnModel::displayText(int row) const {
    return names::visibleText(editText(row));
}

QString ColumnModel::editText(int row) const {
    if (!fileNames_) {
        return text(row);
    }
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    return names::displayName(rows_.at(static_cast<std::size_t>(row)));
}

void ColumnModel::setRows(names::NameList rows) {
    beginResetModel();
    rows_ = std::move(rows);
    search_.reset();
    inNameOrder_ = true;
    if (fileNames_ && !rows_.empty()) {
        learning_.start();
    } else {
        learning_.stop();
    }
    endResetModel();
}

void ColumnModel::appendRow(const QString& text) {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    const QByteArray name = names::encodeName(text);
    rows_.append({name.constData(), static_cast<std::size_t>(name.size())});
    search_.reset();
    learning_.stop();
    inNameOrder_ = row == 0;
    endInsertRows();
}

void ColumnModel::setRowText(int row, const QString& text) {
    if (row < 0 || row >= rowCount()) {
        return;
    }
    names::NameList rows;
    for (int r = 0; r < rowCount(); ++r) {
        if (r == row) {
            const QByteArray name = names::encodeName(text);
            rows.append({name.constData(), static_cast<std::size_t>(name.size())});
        } else {
            rows.append(rows_.at(static_cast<std::size_t>(r)));
        }
    }
    rows_ = std::move(rows);
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void ColumnModel::clear() {
    setRows({});
}

names::PrefixSearch::DisplayText ColumnModel::displayTexts() const {
    return [this](std::size_t row) { return displayText(static_cast<int>(row)); };
}

int ColumnModel::findByPrefix(const QString& prefix, int start) {
    learning_.stop();
    return static_cast<int>(search_.find(rows_, inNameOrder_ && fileNames_, displayTexts(), prefix,
                                         static_cast<std::size_t>(std::max(start, 0))));
}
