#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QPixmap>
#include <QString>
#include <memory>
#include <vector>

#include "controls/ListRows.h"

// One row of the list: a text and an image per column, its check, selection and record.
struct ListRow {
    std::vector<QString> texts;
    std::vector<int> images;
    bool selected = false;
    bool checked = false;
    std::unique_ptr<RowRecord> record;
};

// Column alignment formats.
enum : int {
    COLUMN_LEFT = 0,
    COLUMN_RIGHT = 1,
    COLUMN_CENTER = 2,
};

// The rows and columns behind the editable list. It holds the states the list works with
// (selection, check, focus) itself, so reading a row's flags costs nothing whatever the
// number of rows.
class EditableListModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    int RowCount() const { return static_cast<int>(rows_.size()); }
    int ColumnCount() const { return static_cast<int>(headings_.size()); }
    bool IsValidRow(int row) const { return row >= 0 && row < RowCount(); }
    bool IsValidColumn(int column) const { return column >= 0 && column < ColumnCount(); }
    bool IsValidCell(int row, int column) const { return IsValidRow(row) && IsValidColumn(column); }

    ListRow& Row(int row) { return rows_[static_cast<std::size_t>(row)]; }
    const ListRow& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    unsigned StateFlags(int row) const;

    int ColumnFormat(int column) const { return formats_[static_cast<std::size_t>(column)]; }
    void InsertColumn(int column, const QString& heading, int format);
    void InsertRow(int row, const QString& text, int image);
    void RemoveRows(int first, int count);
    void RemoveAllRows();
    // Puts the rows first..first+n-1 in the order given: order[k] is the offset from `first`
    // of the row that moves to first + k. Everything of a row moves with it.
    void ReorderRows(int first, const std::vector<int>& order);

    void SetText(int row, int column, const QString& text);

    int FocusRow() const { return focusRow_; }
    void SetFocusRow(int row) { focusRow_ = row; }

    bool CheckBoxesShown() const { return checkBoxesShown_; }
    void SetCheckBoxesShown(bool shown) { checkBoxesShown_ = shown; }

    const QList<QPixmap>& Images() const { return images_; }
    void SetImages(QList<QPixmap> images) { images_ = std::move(images); }

private:
    std::vector<ListRow> rows_;
    std::vector<QString> headings_;
    std::vector<int> formats_;
    int focusRow_ = -1;
    bool checkBoxesShown_ = false;
    QList<QPixmap> images_;
};
