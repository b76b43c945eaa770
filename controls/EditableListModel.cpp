#include "controls/EditableListModel.h"

#include <QColor>
#include <algorithm>

namespace {

// Longest text a cell shows; a longer one is cut for display only, so painting never lays
// out more text than a cell can hold.
constexpr int kMaxShownTextLength = 1024;

QVariant ColorValue(ColorRef color)
{
    if (color == kWindowColor || color == kWindowTextColor)
        return {};
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
        static_cast<int>((color >> 16) & 0xFF));
}

Qt::Alignment AlignmentOfFormat(int format)
{
    switch (format & 0x3) {
    case COLUMN_RIGHT:
        return Qt::AlignRight | Qt::AlignVCenter;
    case COLUMN_CENTER:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

} // namespace

int EditableListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RowCount();
}

int EditableListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount();
}

QVariant EditableListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !IsValidCell(index.row(), index.column()))
        return {};
    const ListRow& row = Row(index.row());
    const auto column = static_cast<std::size_t>(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return row.texts[column].size() > kMaxShownTextLength ? row.texts[column].left(kMaxShownTextLength)
                                                               : row.texts[column];
    case Qt::DecorationRole: {
        const int image = row.images[column];
        if (image >= 0 && image < images_.size())
            return images_[image];
        return {};
    }
    case Qt::CheckStateRole:
        if (column == 0 && checkBoxesShown_)
            return row.checked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::BackgroundRole:
        return ColorValue(row.record->BkColors[column]);
    case Qt::ForegroundRole:
        return ColorValue(row.record->TextColors[column]);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(AlignmentOfFormat(formats_[column]));
    default:
        return {};
    }
}

QVariant EditableListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || !IsValidColumn(section))
        return {};
    if (role == Qt::DisplayRole)
        return headings_[static_cast<std::size_t>(section)];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(AlignmentOfFormat(formats_[static_cast<std::size_t>(section)]));
    return {};
}

Qt::ItemFlags EditableListModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

unsigned EditableListModel::StateFlags(int row) const
{
    const ListRow& listRow = Row(row);
    return RowStateFlags(listRow.selected, listRow.checked, row == focusRow_);
}

void EditableListModel::InsertColumn(int column, const QString& heading, int format)
{
    const auto at = static_cast<std::ptrdiff_t>(column);
    beginInsertColumns({}, column, column);
    headings_.insert(headings_.begin() + at, heading);
    formats_.insert(formats_.begin() + at, format);
    for (ListRow& row : rows_) {
        row.texts.insert(row.texts.begin() + at, QString());
        row.images.insert(row.images.begin() + at, -1);
        row.record->TextColors.insert(row.record->TextColors.begin() + at, kWindowTextColor);
        row.record->BkColors.insert(row.record->BkColors.begin() + at, kWindowColor);
    }
    endInsertColumns();
}

void EditableListModel::InsertRow(int row, const QString& text, int image)
{
    const auto columns = static_cast<std::size_t>(ColumnCount());
    ListRow newRow;
    newRow.texts.resize(columns);
    newRow.texts[0] = text;
    newRow.images.assign(columns, -1);
    newRow.images[0] = image;
    newRow.record = std::make_unique<RowRecord>();
    newRow.record->TextColors.assign(columns, kWindowTextColor);
    newRow.record->BkColors.assign(columns, kWindowColor);
    beginInsertRows({}, row, row);
    rows_.insert(rows_.begin() + row, std::move(newRow));
    if (focusRow_ >= row)
        ++focusRow_;
    endInsertRows();
}

void EditableListModel::RemoveRows(int first, int count)
{
    beginRemoveRows({}, first, first + count - 1);
    rows_.erase(rows_.begin() + first, rows_.begin() + first + count);
    if (focusRow_ >= first + count)
        focusRow_ -= count;
    else if (focusRow_ >= first)
        focusRow_ = -1;
    endRemoveRows();
}

void EditableListModel::RemoveAllRows()
{
    beginResetModel();
    rows_.clear();
    focusRow_ = -1;
    endResetModel();
}

void EditableListModel::ReorderRows(int first, const std::vector<int>& order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<ListRow> moved;
    moved.reserve(order.size());
    std::vector<int> newRowOf(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        moved.push_back(std::move(Row(first + order[k])));
        newRowOf[static_cast<std::size_t>(order[k])] = first + static_cast<int>(k);
    }
    std::move(moved.begin(), moved.end(), rows_.begin() + first);
    const auto followRow = [&](int row) {
        const int offset = row - first;
        return offset >= 0 && offset < static_cast<int>(order.size()) ? newRowOf[static_cast<std::size_t>(offset)] : row;
    };
    if (focusRow_ >= 0)
        focusRow_ = followRow(focusRow_);
    const QModelIndexList persistent = persistentIndexList();
    QModelIndexList followed;
    followed.reserve(persistent.size());
    for (const QModelIndex& index : persistent)
        followed.append(index.isValid() ? this->index(followRow(index.row()), index.column()) : index);
    changePersistentIndexList(persistent, followed);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void EditableListModel::SetText(int row, int column, const QString& text)
{
    Row(row).texts[static_cast<std::size_t>(column)] = text;
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}
