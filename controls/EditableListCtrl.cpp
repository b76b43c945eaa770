#include "controls/EditableListCtrl.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <limits>
#include <vector>

#include "ui/Gbk.h"
#include "controls/LocaleDate.h"
#include "controls/RowOrder.h"

// Paints the rows with the list's own selection state; everything else is the standard look
// of a cell (check box, image, text, the record's background colour).
class EditableListDelegate : public QStyledItemDelegate {
public:
    EditableListDelegate(const EditableListModel* model, QObject* parent)
        : QStyledItemDelegate(parent), model_(model)
    {
    }

    QStyleOptionViewItem CellOption(const QStyleOptionViewItem& viewOption, const QModelIndex& index) const
    {
        QStyleOptionViewItem option(viewOption);
        initStyleOption(&option, index);
        return option;
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->state.setFlag(QStyle::State_Selected, model_->Row(index.row()).selected);
        option->state.setFlag(QStyle::State_HasFocus, false);
    }

private:
    const EditableListModel* model_;
};

namespace {

constexpr int kImageSize = 16;

bool IsEditClick(int message)
{
    return message == MOUSE_LEFT_DOWN || message == MOUSE_LEFT_DOUBLE;
}

bool IsRightClick(int message)
{
    return message == MOUSE_RIGHT_DOWN || message == MOUSE_RIGHT_DOUBLE;
}

int EditAlignmentOfFormat(int format)
{
    switch (format & 0x3) {
    case COLUMN_CENTER:
        return 1;
    case COLUMN_RIGHT:
        return 2;
    default:
        return 0;
    }
}

Qt::Alignment QtAlignmentOfEditAlignment(int alignment)
{
    if (alignment == 1)
        return Qt::AlignHCenter | Qt::AlignVCenter;
    return (alignment == 2 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

} // namespace

CEditableListCtrl::CEditableListCtrl(QWidget* parent)
    : QTableView(parent)
    , m_model(new EditableListModel(this))
    , m_delegate(new EditableListDelegate(m_model, this))
    , m_pEdit(new QLineEdit(viewport()))
{
    setModel(m_model);
    setItemDelegate(m_delegate);
    setSelectionMode(NoSelection);
    setSelectionBehavior(SelectRows);
    setEditTriggers(NoEditTriggers);
    setTabKeyNavigation(false);
    setAutoScroll(false);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setIconSize(QSize(kImageSize, kImageSize));
    setHorizontalScrollMode(ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(std::max(fontMetrics().height(), kImageSize) + 4);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_pEdit->hide();
    m_pEdit->setMaxLength(std::numeric_limits<int>::max());
    m_pEdit->installEventFilter(this);

    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CEditableListCtrl::OnHeaderClicked);
}

CEditableListCtrl::~CEditableListCtrl() = default;

// ---- Columns and rows -------------------------------------------------------------------

int CEditableListCtrl::InsertColumn(int column, const QString& heading, int format, int width)
{
    EndEdit(true);
    if (column < 0)
        return -1;
    column = std::min(column, GetColumnCount());
    m_model->InsertColumn(column, heading, format);
    if (width >= 0)
        horizontalHeader()->resizeSection(column, width);
    return column;
}

int CEditableListCtrl::InsertItem(int row, const QString& text)
{
    return InsertItem(row, text, 0);
}

int CEditableListCtrl::InsertItem(int row, const QString& text, int image)
{
    EndEdit(true);
    ClearSortState();
    if (row < 0 || GetColumnCount() == 0)
        return -1;
    row = std::min(row, GetItemCount());
    m_model->InsertRow(row, text, image);
    if (m_nAnchorItem >= row)
        ++m_nAnchorItem;
    return row;
}

bool CEditableListCtrl::SetItemText(int row, int column, const QString& text)
{
    if (!m_model->IsValidCell(row, column))
        return false;
    EndEdit(true);
    if (!m_model->IsValidCell(row, column))
        return false;
    ClearSortState();
    m_model->SetText(row, column, text);
    return true;
}

QString CEditableListCtrl::GetItemText(int row, int column) const
{
    if (!m_model->IsValidCell(row, column))
        return {};
    return m_model->Row(row).texts[static_cast<std::size_t>(column)];
}

bool CEditableListCtrl::DeleteItem(int row, bool selectNext)
{
    if (!m_model->IsValidRow(row))
        return false;
    EndEdit(row != m_nEditItem);
    if (!m_model->IsValidRow(row))
        return false;
    if (selectNext && m_model->IsValidRow(row + 1))
        m_model->Row(row + 1).selected = true;
    m_model->RemoveRows(row, 1);
    if (m_nAnchorItem == row)
        m_nAnchorItem = -1;
    else if (m_nAnchorItem > row)
        --m_nAnchorItem;
    SyncCurrentIndex();
    return true;
}

int CEditableListCtrl::DeleteItems(unsigned mask)
{
    EndEdit(false);
    const bool updatesWereEnabled = updatesEnabled();
    setUpdatesEnabled(false);
    int deleted = 0;
    if (mask & ITEM_ANY) {
        deleted = GetItemCount();
        m_model->RemoveAllRows();
    } else {
        // Matching rows go in runs from the end, so each run is one removal.
        for (int row = GetItemCount() - 1; row >= 0;) {
            if (!RowMatchesMask(m_model->StateFlags(row), mask)) {
                --row;
                continue;
            }
            int first = row;
            while (first > 0 && RowMatchesMask(m_model->StateFlags(first - 1), mask))
                --first;
            m_model->RemoveRows(first, row - first + 1);
            deleted += row - first + 1;
            row = first - 1;
        }
    }
    m_nAnchorItem = -1;
    SyncCurrentIndex();
    setUpdatesEnabled(updatesWereEnabled);
    return deleted;
}

// ---- Styles and images ------------------------------------------------------------------

void CEditableListCtrl::SetGridLines(bool on)
{
    setShowGrid(on);
}

void CEditableListCtrl::SetCheckStyle(int style)
{
    if (style < CHECK_NONE || style > CHECK_READONLY)
        return;
    m_nCheckStyle = style;
    EndEdit(true);
    if (style == CHECK_SINGLE)
        KeepFirstCheckedOnly();
    m_model->SetCheckBoxesShown(style != CHECK_NONE);
    Redraw();
}

void CEditableListCtrl::AllowEdit(bool allow)
{
    if (!allow)
        EndEdit(true);
    m_bAllowEdit = allow;
}

void CEditableListCtrl::SetImageList(const QImage& strip, ColorRef maskColor)
{
    QImage image = strip.convertToFormat(QImage::Format_ARGB32);
    const QRgb mask = qRgb(static_cast<int>(maskColor & 0xFF), static_cast<int>((maskColor >> 8) & 0xFF),
        static_cast<int>((maskColor >> 16) & 0xFF));
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0xFFFFFF) == (mask & 0xFFFFFF))
                line[x] = qRgba(0, 0, 0, 0);
        }
    }
    QList<QPixmap> images;
    for (int x = 0; x + kImageSize <= image.width(); x += kImageSize)
        images.append(QPixmap::fromImage(image.copy(x, 0, kImageSize, image.height())));
    m_model->SetImages(std::move(images));
    Redraw();
}

// ---- Per-row values ---------------------------------------------------------------------

bool CEditableListCtrl::SetCheck(int row, bool checked)
{
    if (!m_model->IsValidRow(row))
        return false;
    m_model->Row(row).checked = checked;
    if (checked && m_nCheckStyle == CHECK_SINGLE)
        UncheckAllBut(row);
    Redraw();
    return true;
}

int CEditableListCtrl::GetCheck(int row) const
{
    if (!m_model->IsValidRow(row))
        return -1;
    return m_model->Row(row).checked ? 1 : 0;
}

void CEditableListCtrl::SetItemUserData(int row, std::uintptr_t value)
{
    if (m_model->IsValidRow(row))
        m_model->Row(row).record->UserData = value;
}

std::uintptr_t CEditableListCtrl::GetItemUserData(int row) const
{
    return m_model->IsValidRow(row) ? m_model->Row(row).record->UserData : 0;
}

bool CEditableListCtrl::SetItemImage(int row, int column, int image)
{
    if (!m_model->IsValidCell(row, column))
        return false;
    m_model->Row(row).images[static_cast<std::size_t>(column)] = image;
    Redraw();
    return true;
}

int CEditableListCtrl::GetItemImage(int row, int column) const
{
    if (!m_model->IsValidCell(row, column))
        return -1;
    return m_model->Row(row).images[static_cast<std::size_t>(column)];
}

const RowRecord* CEditableListCtrl::GetRowRecord(int row) const
{
    return m_model->IsValidRow(row) ? m_model->Row(row).record.get() : nullptr;
}

// ---- Row states -------------------------------------------------------------------------

unsigned CEditableListCtrl::GetItemStates(int row) const
{
    return m_model->IsValidRow(row) ? m_model->StateFlags(row) : 0;
}

bool CEditableListCtrl::SetItemStates(int row, unsigned flags)
{
    if (!m_model->IsValidRow(row) || flags == 0)
        return false;
    ApplyStates(row, flags);
    if ((flags & ITEM_CHECKED) && m_nCheckStyle == CHECK_SINGLE)
        UncheckAllBut(row);
    Redraw();
    return true;
}

int CEditableListCtrl::SetItemStatesAll(unsigned mask, unsigned flags)
{
    if (mask == 0 || flags == 0)
        return 0;
    int count = 0;
    for (int row = 0; row < GetItemCount(); ++row) {
        if (RowMatchesMask(m_model->StateFlags(row), mask)) {
            ApplyStates(row, flags);
            ++count;
        }
    }
    if ((flags & ITEM_CHECKED) && m_nCheckStyle == CHECK_SINGLE)
        KeepFirstCheckedOnly();
    Redraw();
    return count;
}

int CEditableListCtrl::CountItems(unsigned mask) const
{
    if (mask & ITEM_ANY)
        return GetItemCount();
    int count = 0;
    for (int row = 0; row < GetItemCount(); ++row)
        count += RowMatchesMask(m_model->StateFlags(row), mask) ? 1 : 0;
    return count;
}

int CEditableListCtrl::FindNextItem(unsigned mask, int startRow) const
{
    for (int row = std::max(startRow, -1) + 1; row < GetItemCount(); ++row) {
        if (RowMatchesMask(m_model->StateFlags(row), mask))
            return row;
    }
    return -1;
}

void CEditableListCtrl::ApplyStates(int row, unsigned flags)
{
    ListRow& listRow = m_model->Row(row);
    if (flags & ITEM_SELECTED)
        listRow.selected = true;
    if (flags & ITEM_UNSELECTED)
        listRow.selected = false;
    if (flags & ITEM_CHECKED)
        listRow.checked = true;
    if (flags & ITEM_UNCHECKED)
        listRow.checked = false;
    if (flags & ITEM_FOCUSED)
        SetFocusRow(row);
    if ((flags & ITEM_UNFOCUSED) && m_model->FocusRow() == row)
        SetFocusRow(-1);
}

void CEditableListCtrl::SelectOnly(int row)
{
    for (int other = 0; other < GetItemCount(); ++other)
        m_model->Row(other).selected = other == row;
    Redraw();
}

void CEditableListCtrl::SetFocusRow(int row)
{
    m_model->SetFocusRow(row);
    SyncCurrentIndex();
}

void CEditableListCtrl::SyncCurrentIndex()
{
    const int row = m_model->FocusRow();
    const QModelIndex current = row >= 0 ? m_model->index(row, 0) : QModelIndex();
    if (selectionModel()->currentIndex() != current)
        selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
}

void CEditableListCtrl::UncheckAllBut(int row)
{
    for (int other = 0; other < GetItemCount(); ++other) {
        if (other != row)
            m_model->Row(other).checked = false;
    }
}

void CEditableListCtrl::KeepFirstCheckedOnly()
{
    const int first = FindNextItem(ITEM_CHECKED, -1);
    if (first >= 0)
        UncheckAllBut(first);
}

// ---- In-place editing -------------------------------------------------------------------

bool CEditableListCtrl::IsEditInProgress() const
{
    return m_bAllowEdit && m_model->IsValidCell(m_nEditItem, m_nEditSubItem);
}

bool CEditableListCtrl::EditCell(int row, int column)
{
    if (!m_bAllowEdit || !m_model->IsValidCell(row, column))
        return false;
    if (row == m_nEditItem && column == m_nEditSubItem)
        return true;
    EndEdit(true);
    if (!m_model->IsValidCell(row, column))
        return false;
    m_nEditItem = row;
    m_nEditSubItem = column;
    SelectOnly(row);
    SetFocusRow(row);

    const int alignment = EditAlignmentOfFormat(m_model->ColumnFormat(column));
    if (alignment != m_nEditAlign) {
        m_nEditAlign = alignment;
        m_pEdit->setAlignment(QtAlignmentOfEditAlignment(alignment));
    }
    m_pEdit->setFont(font());
    scrollTo(m_model->index(row, column));
    m_pEdit->setGeometry(LabelRect(row, column));
    m_pEdit->setText(GetItemText(row, column));
    m_pEdit->show();
    m_pEdit->selectAll();
    m_pEdit->setFocus(Qt::OtherFocusReason);
    return true;
}

bool CEditableListCtrl::EndEdit(bool save)
{
    if (!IsEditInProgress())
        return false;
    const int row = m_nEditItem;
    const int column = m_nEditSubItem;
    const QString text = m_pEdit->text();
    // The edit is over before anyone hears of the change, so a handler that edits the list
    // again does not find this edit still open.
    m_nEditItem = -1;
    m_nEditSubItem = -1;
    if (m_pEdit->hasFocus())
        setFocus(Qt::OtherFocusReason);
    m_pEdit->hide();
    if (!save || text == GetItemText(row, column))
        return false;
    m_model->SetText(row, column, text);
    ClearSortState();
    emit cellEdited(row, column);
    return true;
}

void CEditableListCtrl::MoveEditorTo(int row, int column)
{
    EndEdit(true);
    if (!m_model->IsValidCell(row, column))
        return;
    scrollTo(m_model->index(row, column), EnsureVisible);
    EditCell(row, column);
}

QStyleOptionViewItem CEditableListCtrl::CellOption(int row, int column) const
{
    QStyleOptionViewItem viewOption;
    initViewItemOption(&viewOption);
    const QModelIndex index = m_model->index(row, column);
    viewOption.rect = visualRect(index);
    return m_delegate->CellOption(viewOption, index);
}

QRect CEditableListCtrl::LabelRect(int row, int column) const
{
    const QStyleOptionViewItem option = CellOption(row, column);
    const QRect text = style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
    return QRect(QPoint(text.left(), option.rect.top()), option.rect.bottomRight());
}

// ---- Keyboard ---------------------------------------------------------------------------

bool CEditableListCtrl::event(QEvent* event)
{
    if (event->type() == QEvent::KeyPress && HandleListKey(static_cast<QKeyEvent*>(event)))
        return true;
    return QTableView::event(event);
}

bool CEditableListCtrl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pEdit && event->type() == QEvent::KeyPress)
        return HandleListKey(static_cast<QKeyEvent*>(event));
    return QTableView::eventFilter(watched, event);
}

bool CEditableListCtrl::HandleListKey(QKeyEvent* event)
{
    if (!IsEditInProgress())
        return event->key() == Qt::Key_Space;
    const int row = m_nEditItem;
    const int column = m_nEditSubItem;
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        MoveEditorTo(row, column + 1 < GetColumnCount() ? column + 1 : 0);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        EndEdit(true);
        return true;
    case Qt::Key_Escape:
        EndEdit(false);
        return true;
    case Qt::Key_Up:
        if (row > 0)
            MoveEditorTo(row - 1, column);
        return true;
    case Qt::Key_Down:
        if (row + 1 < GetItemCount())
            MoveEditorTo(row + 1, column);
        return true;
    default:
        return false;
    }
}

void CEditableListCtrl::keyPressEvent(QKeyEvent* event)
{
    QTableView::keyPressEvent(event);
    FollowCurrentIndex(event->modifiers());
}

void CEditableListCtrl::FollowCurrentIndex(Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = currentIndex();
    if (!current.isValid() || current.row() == m_model->FocusRow())
        return;
    const int row = current.row();
    if ((modifiers & Qt::ShiftModifier) && m_model->IsValidRow(m_nAnchorItem)) {
        for (int other = 0; other < GetItemCount(); ++other)
            m_model->Row(other).selected = (other >= std::min(row, m_nAnchorItem) && other <= std::max(row, m_nAnchorItem));
    } else if (!(modifiers & Qt::ControlModifier)) {
        SelectOnly(row);
        m_nAnchorItem = row;
    }
    SetFocusRow(row);
    scrollTo(current);
    Redraw();
}

void CEditableListCtrl::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    SyncCurrentIndex();
}

// ---- Mouse ------------------------------------------------------------------------------

void CEditableListCtrl::mousePressEvent(QMouseEvent* event)
{
    switch (event->button()) {
    case Qt::LeftButton:
        HandleMouseMessage(event, MOUSE_LEFT_DOWN);
        break;
    case Qt::RightButton:
        HandleMouseMessage(event, MOUSE_RIGHT_DOWN);
        break;
    case Qt::MiddleButton:
        HandleMouseMessage(event, MOUSE_MIDDLE_DOWN);
        break;
    default:
        break;
    }
    event->accept();
}

void CEditableListCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    switch (event->button()) {
    case Qt::LeftButton:
        HandleMouseMessage(event, MOUSE_LEFT_DOUBLE);
        break;
    case Qt::RightButton:
        HandleMouseMessage(event, MOUSE_RIGHT_DOUBLE);
        break;
    case Qt::MiddleButton:
        HandleMouseMessage(event, MOUSE_MIDDLE_DOUBLE);
        break;
    default:
        break;
    }
    event->accept();
}

// Presses do all the work; moving and releasing the buttons changes nothing in the list.
void CEditableListCtrl::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
}

void CEditableListCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
}

void CEditableListCtrl::HandleMouseMessage(QMouseEvent* event, int message)
{
    const bool wasEditing = IsEditInProgress();
    EndEdit(true);
    const QPoint pos = event->position().toPoint();
    const int column = columnAt(pos.x());
    const int row = column >= 0 ? rowAt(pos.y()) : -1;
    const bool checkedBefore = m_model->IsValidRow(row) && m_model->Row(row).checked;
    const bool selectedAndFocused = IsEditClick(message) && m_model->IsValidRow(row)
        && RowMatchesMask(m_model->StateFlags(row), ITEM_SELECTED | ITEM_FOCUSED);
    DefaultMouseProcessing(event, row, column, message);
    if (!m_model->IsValidRow(row))
        return;
    const bool handled = ProcessCheckChange(row, checkedBefore, m_model->Row(row).checked, message);
    if (IsEditClick(message) && m_bAllowEdit && !handled && !wasEditing && selectedAndFocused)
        EditCell(row, column);
}

// What the list does with a click by itself: a left click on a check box toggles it and
// leaves the selection alone; other left and right clicks select as lists do (Ctrl toggles,
// Shift extends from the anchor); a left double-click is reported.
void CEditableListCtrl::DefaultMouseProcessing(QMouseEvent* event, int row, int column, int message)
{
    setFocus(Qt::MouseFocusReason);
    const QPoint pos = event->position().toPoint();
    if (IsEditClick(message) && column == 0 && CheckBoxRect(row).contains(pos)) {
        m_model->Row(row).checked = !m_model->Row(row).checked;
        Redraw();
    } else if (IsEditClick(message) || IsRightClick(message)) {
        SelectByMouse(row, event->modifiers(), IsRightClick(message));
    }
    if (message == MOUSE_LEFT_DOUBLE)
        emit listDoubleClicked(viewport()->mapTo(this, pos));
}

void CEditableListCtrl::SelectByMouse(int row, Qt::KeyboardModifiers modifiers, bool rightButton)
{
    const bool control = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    if (row < 0) {
        if (!control && !shift)
            SelectOnly(-1);
        return;
    }
    if (rightButton) {
        if (!m_model->Row(row).selected)
            SelectOnly(row);
    } else if (shift && m_model->IsValidRow(m_nAnchorItem)) {
        for (int other = 0; other < GetItemCount(); ++other) {
            const bool inRange = other >= std::min(row, m_nAnchorItem) && other <= std::max(row, m_nAnchorItem);
            m_model->Row(other).selected = inRange || (control && m_model->Row(other).selected);
        }
    } else if (control) {
        m_model->Row(row).selected = !m_model->Row(row).selected;
        m_nAnchorItem = row;
    } else {
        SelectOnly(row);
        m_nAnchorItem = row;
    }
    SetFocusRow(row);
    Redraw();
}

bool CEditableListCtrl::ProcessCheckChange(int row, bool checkedBefore, bool checkedNow, int message)
{
    if (!m_model->IsValidRow(row) || m_nCheckStyle == CHECK_NONE || checkedBefore == checkedNow)
        return false;
    if (m_nCheckStyle == CHECK_SINGLE && checkedNow)
        UncheckAllBut(row);
    if (m_nCheckStyle == CHECK_READONLY) {
        m_model->Row(row).checked = checkedBefore;
        Redraw();
        return true;
    }
    SelectOnly(row);
    SetFocusRow(row);
    emit checkChanged(row, message);
    return true;
}

QRect CEditableListCtrl::CheckBoxRect(int row) const
{
    if (!m_model->IsValidRow(row) || !m_model->CheckBoxesShown() || GetColumnCount() == 0)
        return {};
    const QStyleOptionViewItem option = CellOption(row, 0);
    return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
}

int CEditableListCtrl::HitTestRow(QPoint listPos) const
{
    const QPoint pos = viewport()->mapFrom(this, listPos);
    if (!viewport()->rect().contains(pos) || columnAt(pos.x()) < 0)
        return -1;
    return rowAt(pos.y());
}

// ---- Sorting and colours ----------------------------------------------------------------

void CEditableListCtrl::OnHeaderClicked(int column)
{
    const bool ascending = column != m_nSortColumn || !m_bSortAscending;
    SortByColumn(column, ascending);
}

void CEditableListCtrl::SortByColumn(int column, bool ascending)
{
    EndEdit(true);
    if (!m_model->IsValidColumn(column) || !horizontalHeader()->sectionsClickable())
        return;
    m_nSortColumn = column;
    m_bSortAscending = ascending;
    SortRange(0, GetItemCount() - 1);
    emit sorted(column, ascending ? 1 : 0);
}

bool CEditableListCtrl::SortRange(int firstRow, int lastRow)
{
    if (firstRow >= lastRow || !m_model->IsValidRow(firstRow) || !m_model->IsValidRow(lastRow))
        return false;
    EndEdit(true);
    if (!m_model->IsValidRow(lastRow) || !m_model->IsValidColumn(m_nSortColumn))
        return false;
    std::vector<std::string> texts;
    std::vector<int> order;
    texts.reserve(static_cast<std::size_t>(lastRow - firstRow + 1));
    for (int row = firstRow; row <= lastRow; ++row) {
        texts.push_back(ToGbk(GetItemText(row, m_nSortColumn)));
        order.push_back(row - firstRow);
    }
    ColumnOrder columnOrder(std::move(texts), ParseLocaleDateTime);
    QuickSortEntries(order, m_bSortAscending, [&columnOrder](int a, int b) {
        return columnOrder.Compare(static_cast<std::size_t>(a), static_cast<std::size_t>(b));
    });
    m_model->ReorderRows(firstRow, order);
    m_nAnchorItem = -1;
    SyncCurrentIndex();
    Redraw();
    return true;
}

int CEditableListCtrl::CompareRows(int rowA, int rowB) const
{
    return CompareCellTexts(ToGbk(GetItemText(rowA, m_nSortColumn)), ToGbk(GetItemText(rowB, m_nSortColumn)),
        ParseLocaleDateTime);
}

void CEditableListCtrl::ClearSortState()
{
    m_nSortColumn = -1;
    m_bSortAscending = true;
}

void CEditableListCtrl::SetItemBkColor(int row, int column, ColorRef color, bool redraw)
{
    const bool oneRow = m_model->IsValidRow(row);
    const bool oneColumn = m_model->IsValidColumn(column);
    const int firstRow = oneRow ? row : 0;
    const int lastRow = oneRow ? row : GetItemCount() - 1;
    for (int r = firstRow; r <= lastRow; ++r) {
        std::vector<ColorRef>& colors = m_model->Row(r).record->BkColors;
        if (oneColumn)
            colors[static_cast<std::size_t>(column)] = color;
        else
            std::fill(colors.begin(), colors.end(), color);
    }
    if (redraw)
        Redraw();
}

void CEditableListCtrl::Redraw()
{
    viewport()->update();
}
