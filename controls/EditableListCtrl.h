#pragma once

#include <QImage>
#include <QPoint>
#include <QString>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <cstdint>

#include "controls/EditableListModel.h"
#include "controls/ListRows.h"

class QLineEdit;
class EditableListDelegate;

// The mouse message that changed a check, as carried by checkChanged.
enum : int {
    MOUSE_LEFT_DOWN = 0x0201,
    MOUSE_LEFT_DOUBLE = 0x0203,
    MOUSE_RIGHT_DOWN = 0x0204,
    MOUSE_RIGHT_DOUBLE = 0x0206,
    MOUSE_MIDDLE_DOWN = 0x0207,
    MOUSE_MIDDLE_DOUBLE = 0x0209,
};

// A report list with a record per row, in-place editing of any cell, check boxes in four
// styles, operations on rows by state masks, sorting by a clicked header and a background
// colour per cell. Rows and columns are 0-based; operations given an invalid row or column
// change nothing and return 0, false or -1.
class CEditableListCtrl : public QTableView {
    Q_OBJECT

public:
    explicit CEditableListCtrl(QWidget* parent = nullptr);
    ~CEditableListCtrl() override;

    // Columns. A column index beyond the last appends; a negative one fails (-1). A width
    // below 0 keeps the header's default width.
    int InsertColumn(int column, const QString& heading, int format = COLUMN_LEFT, int width = -1);
    int GetColumnCount() const { return m_model->ColumnCount(); }

    // Rows. A row index beyond the last appends; a negative one, or a list without columns,
    // fails (-1). The text form shows image 0, as an item inserted without an image does.
    int InsertItem(int row, const QString& text);
    int InsertItem(int row, const QString& text, int image);
    bool SetItemText(int row, int column, const QString& text);
    QString GetItemText(int row, int column) const;
    int GetItemCount() const { return m_model->RowCount(); }
    // Discards an open edit of this row, saves one of another row; can select the next row.
    bool DeleteItem(int row, bool selectNext = false);
    // Deletes every row matching the mask, discarding an open edit; returns how many went.
    int DeleteItems(unsigned mask);

    void SetGridLines(bool on);
    // Styles outside CHECK_NONE..CHECK_READONLY are refused.
    void SetCheckStyle(int style);
    int GetCheckStyle() const { return m_nCheckStyle; }
    void AllowEdit(bool allow);
    // Images 16 pixels wide cut from a strip; pixels of the mask colour are transparent.
    void SetImageList(const QImage& strip, ColorRef maskColor);

    // Under CHECK_SINGLE, checking a row unchecks every other row.
    bool SetCheck(int row, bool checked);
    int GetCheck(int row) const;
    void SetItemUserData(int row, std::uintptr_t value);
    std::uintptr_t GetItemUserData(int row) const;
    bool SetItemImage(int row, int column, int image);
    int GetItemImage(int row, int column) const;
    const RowRecord* GetRowRecord(int row) const;

    unsigned GetItemStates(int row) const;
    bool SetItemStates(int row, unsigned flags);
    int SetItemStatesAll(unsigned mask, unsigned flags);
    int CountItems(unsigned mask) const;
    int FindNextItem(unsigned mask, int startRow) const;

    // Opens the editor over a cell (scrolled into view) with its text selected.
    bool EditCell(int row, int column);
    // Closes the editor; when saving a changed text, sets it and reports cellEdited.
    // Returns whether the cell changed.
    bool EndEdit(bool save);
    int GetEditItem() const { return m_nEditItem; }
    int GetEditSubItem() const { return m_nEditSubItem; }

    void SortByColumn(int column, bool ascending);
    bool SortRange(int firstRow, int lastRow);
    int CompareRows(int rowA, int rowB) const;
    int GetSortColumn() const { return m_nSortColumn; }
    bool IsSortAscending() const { return m_bSortAscending; }

    // Background of a cell, a whole row (column -1), a whole column (row -1) or every cell
    // (both -1); kWindowColor (-1) is the window's background.
    void SetItemBkColor(int row, int column, ColorRef color, bool redraw);

    // The row under a point in this widget's coordinates, or -1.
    int HitTestRow(QPoint listPos) const;
    // Where a row's check box lies, in the coordinates of viewport(); empty when the list
    // shows no check boxes or the row does not exist.
    QRect CheckBoxRect(int row) const;

signals:
    // A click changed a row's check (styles CHECK_MULTI and CHECK_SINGLE).
    void checkChanged(int row, int mouseMessage);
    // After every sort: the column and 1 for ascending, 0 for descending.
    void sorted(int column, int ascending);
    // A saving end of an edit changed a cell's text.
    void cellEdited(int row, int column);
    // The left button was double-clicked in the list, at a point in this widget's coordinates.
    void listDoubleClicked(QPoint listPos);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool IsEditInProgress() const;
    void HandleMouseMessage(QMouseEvent* event, int message);
    void DefaultMouseProcessing(QMouseEvent* event, int row, int column, int message);
    void SelectByMouse(int row, Qt::KeyboardModifiers modifiers, bool rightButton);
    bool ProcessCheckChange(int row, bool checkedBefore, bool checkedNow, int message);
    bool HandleListKey(QKeyEvent* event);
    void MoveEditorTo(int row, int column);
    void FollowCurrentIndex(Qt::KeyboardModifiers modifiers);
    void SyncCurrentIndex();
    void OnHeaderClicked(int column);

    void SelectOnly(int row);
    void SetFocusRow(int row);
    void ApplyStates(int row, unsigned flags);
    void UncheckAllBut(int row);
    void KeepFirstCheckedOnly();
    void ClearSortState();
    QStyleOptionViewItem CellOption(int row, int column) const;
    QRect LabelRect(int row, int column) const;
    void Redraw();

    EditableListModel* m_model;
    EditableListDelegate* m_delegate;
    QLineEdit* m_pEdit;
    bool m_bAllowEdit = false;
    int m_nEditItem = -1;
    int m_nEditSubItem = -1;
    int m_nCheckStyle = CHECK_MULTI;
    int m_nEditAlign = 0;
    int m_nSortColumn = -1;
    bool m_bSortAscending = true;
    int m_nAnchorItem = -1;
};
