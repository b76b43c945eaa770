#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "ListFixture.h"

using EditableListCtrlTest = ListFixture;

TEST_F(EditableListCtrlTest, FirstClickSelectsAndADoubleClickEditsWithTheTextSelected)
{
    list->AllowEdit(true);
    Click(1, 1);
    EXPECT_EQ(list->GetItemStates(1), unsigned{ITEM_SELECTED | ITEM_UNCHECKED | ITEM_FOCUSED});
    EXPECT_FALSE(editor->isVisible());

    DoubleClick(2, 1);
    ASSERT_TRUE(Editing(2, 1));
    EXPECT_EQ(editor->text(), QStringLiteral("data 2"));
    EXPECT_EQ(editor->selectedText(), QStringLiteral("data 2"));
    EXPECT_TRUE(list->visualRect(list->model()->index(2, 1)).contains(editor->geometry().center()));
    EXPECT_EQ(list->CountItems(ITEM_SELECTED), 1);
}

TEST_F(EditableListCtrlTest, ClickOnTheSelectedRowEditsButAClickWhileEditingOnlyEndsTheEdit)
{
    list->AllowEdit(true);
    Click(0, 0);
    Click(0, 1);
    ASSERT_TRUE(Editing(0, 1));
    editor->setText(QStringLiteral("changed"));
    QSignalSpy edited(list, &CEditableListCtrl::cellEdited);
    Click(0, 0);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(list->GetItemText(0, 1), QStringLiteral("changed"));
    ASSERT_EQ(edited.count(), 1);
    EXPECT_EQ(edited[0], (QList<QVariant>{0, 1}));
    Click(0, 0);
    EXPECT_TRUE(Editing(0, 0));
}

TEST_F(EditableListCtrlTest, OnlyLeftClicksEditAndRightClicksSelect)
{
    list->AllowEdit(true);
    Click(3, 1, Qt::RightButton);
    EXPECT_EQ(list->FindNextItem(ITEM_SELECTED | ITEM_FOCUSED, -1), 3);
    Click(3, 1, Qt::RightButton);
    DoubleClick(3, 1, Qt::MiddleButton);
    EXPECT_FALSE(editor->isVisible());
    list->AllowEdit(false);
    Click(3, 1);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_FALSE(list->EditCell(3, 1));
}

TEST_F(EditableListCtrlTest, ControlAndShiftClicksSelectSeveralRows)
{
    Click(0, 0);
    Click(2, 0, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(list->CountItems(ITEM_SELECTED), 2);
    Click(3, 0, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(list->FindNextItem(ITEM_UNSELECTED, -1), 0);
    EXPECT_EQ(list->CountItems(ITEM_SELECTED), 2);
    EXPECT_EQ(list->FindNextItem(ITEM_FOCUSED, -1), 3);
}

TEST_F(EditableListCtrlTest, CheckBoxClickUnderMultiTogglesSelectsAndNeverEdits)
{
    list->AllowEdit(true);
    list->SetCheckStyle(CHECK_MULTI);
    Click(0, 0);
    Click(2, 1);
    QSignalSpy changed(list, &CEditableListCtrl::checkChanged);
    ClickCheckBox(2);
    EXPECT_EQ(list->GetCheck(2), 1);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0], (QList<QVariant>{2, MOUSE_LEFT_DOWN}));
    EXPECT_EQ(list->CountItems(ITEM_SELECTED), 1);
    EXPECT_EQ(list->GetItemStates(2), unsigned{ITEM_SELECTED | ITEM_CHECKED | ITEM_FOCUSED});
    EXPECT_FALSE(editor->isVisible()) << "row 2 was selected and focused, yet a check-box click never edits";

    ClickCheckBox(2);
    EXPECT_EQ(list->GetCheck(2), 0);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_FALSE(editor->isVisible());
}

TEST_F(EditableListCtrlTest, CheckBoxDoubleClickTogglesTwiceAndReportsBothMessages)
{
    list->SetCheckStyle(CHECK_MULTI);
    QSignalSpy changed(list, &CEditableListCtrl::checkChanged);
    DoubleClickAt(list->CheckBoxRect(1).center());
    EXPECT_EQ(list->GetCheck(1), 0);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed[1], (QList<QVariant>{1, MOUSE_LEFT_DOUBLE}));
}

TEST_F(EditableListCtrlTest, ReadOnlyChecksIgnoreClicks)
{
    list->SetCheckStyle(CHECK_READONLY);
    list->SetCheck(1, true);
    Click(3, 1);
    QSignalSpy changed(list, &CEditableListCtrl::checkChanged);
    ClickCheckBox(1);
    ClickCheckBox(2);
    EXPECT_EQ(list->GetCheck(1), 1);
    EXPECT_EQ(list->GetCheck(2), 0);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(list->FindNextItem(ITEM_SELECTED, -1), 3) << "no selection change";
}

TEST_F(EditableListCtrlTest, SingleCheckStyleKeepsAtMostOneRowChecked)
{
    list->SetCheck(1, true);
    list->SetCheck(3, true);
    list->SetCheckStyle(CHECK_SINGLE);
    EXPECT_EQ(list->CountItems(ITEM_CHECKED), 1) << "switching to single keeps the first checked row";
    EXPECT_EQ(list->GetCheck(1), 1);

    ClickCheckBox(2);
    EXPECT_EQ(list->CountItems(ITEM_CHECKED), 1);
    EXPECT_EQ(list->GetCheck(2), 1);
    ClickCheckBox(2);
    EXPECT_EQ(list->CountItems(ITEM_CHECKED), 0);

    list->SetCheck(3, true);
    list->SetItemStates(0, ITEM_CHECKED);
    EXPECT_EQ(list->FindNextItem(ITEM_CHECKED, -1), 0);
    EXPECT_EQ(list->CountItems(ITEM_CHECKED), 1) << "checking a row unchecks rows before it as well";
    EXPECT_EQ(list->SetItemStatesAll(ITEM_ANY, ITEM_CHECKED), 4);
    EXPECT_EQ(list->CountItems(ITEM_CHECKED), 1);
    EXPECT_EQ(list->GetCheck(0), 1);
}

TEST_F(EditableListCtrlTest, NoCheckBoxesMeansNothingToClick)
{
    list->SetCheck(0, true);
    EXPECT_TRUE(list->CheckBoxRect(0).isEmpty());
    list->SetCheckStyle(CHECK_MULTI);
    EXPECT_FALSE(list->CheckBoxRect(0).isEmpty());
    list->SetCheckStyle(CHECK_NONE);
    EXPECT_TRUE(list->CheckBoxRect(0).isEmpty());
    list->SetCheckStyle(7);
    EXPECT_EQ(list->GetCheckStyle(), CHECK_NONE);
}

TEST_F(EditableListCtrlTest, SpaceNeverTogglesACheck)
{
    list->SetCheckStyle(CHECK_MULTI);
    Click(1, 1);
    QTest::keyClick(list, Qt::Key_Space);
    QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(list->GetCheck(1), 0);
    EXPECT_EQ(list->CountItems(ITEM_SELECTED), 1);
}

TEST_F(EditableListCtrlTest, EnterSavesOnlyAChangedTextAndClearsTheSortState)
{
    list->AllowEdit(true);
    list->SortByColumn(1, false);
    QSignalSpy edited(list, &CEditableListCtrl::cellEdited);
    ASSERT_TRUE(list->EditCell(2, 1));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(edited.count(), 0);
    EXPECT_EQ(list->GetSortColumn(), 1);

    ASSERT_TRUE(list->EditCell(2, 1));
    QTest::keyClicks(editor, QStringLiteral("new"));
    QTest::keyClick(editor, Qt::Key_Enter);
    EXPECT_EQ(list->GetItemText(2, 1), QStringLiteral("new"));
    ASSERT_EQ(edited.count(), 1);
    EXPECT_EQ(edited[0], (QList<QVariant>{2, 1}));
    EXPECT_EQ(list->GetSortColumn(), -1);
    EXPECT_TRUE(list->IsSortAscending());
    EXPECT_TRUE(list->hasFocus()) << "the list takes the focus back from the editor";
}

TEST_F(EditableListCtrlTest, EnterAndEscapeWhileEditingStayInTheList)
{
    list->AllowEdit(true);
    ASSERT_TRUE(list->EditCell(0, 0));
    QTest::keyClicks(editor, QStringLiteral("typed"));
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(list->GetItemText(0, 0), QStringLiteral("caption 0"));
    ASSERT_TRUE(list->EditCell(0, 0));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), 0);

    // With no edit open, Enter in the list reaches the dialog's default button.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST_F(EditableListCtrlTest, EscapeWithoutAnEditReachesTheDialog)
{
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(EditableListCtrlTest, TabMovesAlongTheRowAndWrapsToColumnZero)
{
    list->AllowEdit(true);
    ASSERT_TRUE(list->EditCell(1, 0));
    QTest::keyClicks(editor, QStringLiteral("first"));
    QTest::keyClick(editor, Qt::Key_Tab);
    EXPECT_TRUE(Editing(1, 1));
    EXPECT_EQ(list->GetItemText(1, 0), QStringLiteral("first"));
    EXPECT_EQ(editor->selectedText(), QStringLiteral("data 1"));
    QTest::keyClicks(editor, QStringLiteral("second"));
    QTest::keyClick(editor, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(Editing(1, 0)) << "Shift+Tab moves like Tab, and the last column wraps to column 0";
    EXPECT_EQ(list->GetItemText(1, 1), QStringLiteral("second"));
    EXPECT_TRUE(editor->hasFocus());
}

TEST_F(EditableListCtrlTest, UpAndDownMoveTheEditorButNotPastTheEnds)
{
    list->AllowEdit(true);
    ASSERT_TRUE(list->EditCell(2, 1));
    QTest::keyClicks(editor, QStringLiteral("x"));
    QTest::keyClick(editor, Qt::Key_Down);
    EXPECT_TRUE(Editing(3, 1));
    EXPECT_EQ(list->GetItemText(2, 1), QStringLiteral("x"));
    QTest::keyClick(editor, Qt::Key_Down);
    EXPECT_TRUE(Editing(3, 1)) << "Down on the last row leaves the editor where it is";
    EXPECT_EQ(list->FindNextItem(ITEM_SELECTED, -1), 3);
    for (int step = 0; step < 4; ++step)
        QTest::keyClick(editor, Qt::Key_Up);
    EXPECT_TRUE(Editing(0, 1));
}

TEST_F(EditableListCtrlTest, MovingTheFocusElsewhereLeavesTheEditOpenAndUncommitted)
{
    list->AllowEdit(true);
    ASSERT_TRUE(list->EditCell(1, 1));
    QTest::keyClicks(editor, QStringLiteral("pending"));
    QTest::mouseClick(other, Qt::LeftButton);
    other->setFocus();
    EXPECT_TRUE(other->hasFocus());
    EXPECT_TRUE(Editing(1, 1));
    EXPECT_EQ(list->GetItemText(1, 1), QStringLiteral("data 1"));
    QTest::keyClick(other, Qt::Key_Return);
    EXPECT_FALSE(dialog->isVisible()) << "keys of other controls are not the list's";
    EXPECT_EQ(list->GetItemText(1, 1), QStringLiteral("data 1"));
}

TEST_F(EditableListCtrlTest, DeletingTheEditedRowDiscardsAndAnotherRowSaves)
{
    list->AllowEdit(true);
    QSignalSpy edited(list, &CEditableListCtrl::cellEdited);
    ASSERT_TRUE(list->EditCell(1, 0));
    editor->setText(QStringLiteral("lost"));
    EXPECT_TRUE(list->DeleteItem(1));
    EXPECT_EQ(edited.count(), 0);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(list->GetItemText(1, 0), QStringLiteral("caption 2"));

    ASSERT_TRUE(list->EditCell(1, 0));
    editor->setText(QStringLiteral("kept"));
    EXPECT_TRUE(list->DeleteItem(0, true));
    ASSERT_EQ(edited.count(), 1);
    EXPECT_EQ(list->GetItemText(0, 0), QStringLiteral("kept"));
    EXPECT_EQ(list->GetItemCount(), 2);
    EXPECT_FALSE(list->DeleteItem(2));
}

TEST_F(EditableListCtrlTest, DeleteItemCanSelectTheNextRow)
{
    EXPECT_TRUE(list->DeleteItem(1, true));
    EXPECT_EQ(list->FindNextItem(ITEM_SELECTED, -1), 1);
    EXPECT_EQ(list->GetItemText(1, 0), QStringLiteral("caption 2"));
}

TEST_F(EditableListCtrlTest, FindNextSelectedRowDrivesADeleteLoop)
{
    for (int row : {0, 2, 3})
        list->SetItemStates(row, ITEM_SELECTED);
    EXPECT_EQ(list->FindNextItem(ITEM_SELECTED, -5), 0);
    EXPECT_EQ(list->FindNextItem(ITEM_SELECTED, 0), 2);
    int deleted = 0;
    for (int row = list->FindNextItem(ITEM_SELECTED, -1); row >= 0; row = list->FindNextItem(ITEM_SELECTED, -1)) {
        list->DeleteItem(row);
        ++deleted;
    }
    EXPECT_EQ(deleted, 3);
    ASSERT_EQ(list->GetItemCount(), 1);
    EXPECT_EQ(list->GetItemText(0, 0), QStringLiteral("caption 1"));
}

TEST_F(EditableListCtrlTest, RowStateMasks)
{
    list->SetItemStates(1, ITEM_SELECTED | ITEM_CHECKED | ITEM_FOCUSED);
    list->SetItemStates(2, ITEM_FOCUSED);
    EXPECT_EQ(list->GetItemStates(1), unsigned{ITEM_SELECTED | ITEM_CHECKED | ITEM_UNFOCUSED}) << "one focused row";
    EXPECT_EQ(list->FindNextItem(ITEM_FOCUSED, -1), 2);
    EXPECT_EQ(list->CountItems(ITEM_SELECTED | ITEM_CHECKED), 1);
    EXPECT_EQ(list->CountItems(ITEM_SELECTED | ITEM_UNSELECTED), 0);
    EXPECT_EQ(list->CountItems(0), 0);
    EXPECT_EQ(list->CountItems(ITEM_ANY | ITEM_SELECTED), 4);
    EXPECT_FALSE(list->SetItemStates(1, 0));
    EXPECT_FALSE(list->SetItemStates(4, ITEM_SELECTED));
    EXPECT_EQ(list->GetItemStates(4), 0u);
    EXPECT_EQ(list->SetItemStatesAll(ITEM_UNSELECTED, ITEM_SELECTED), 3);
    EXPECT_EQ(list->CountItems(ITEM_SELECTED), 4);
    EXPECT_EQ(list->SetItemStatesAll(ITEM_ANY, 0), 0);
    EXPECT_EQ(list->DeleteItems(ITEM_CHECKED), 1);
    EXPECT_EQ(list->DeleteItems(0), 0);
    EXPECT_EQ(list->DeleteItems(ITEM_ANY), 3);
    EXPECT_EQ(list->GetItemCount(), 0);
}

TEST_F(EditableListCtrlTest, InvalidRowsAndColumnsChangeNothing)
{
    list->SetItemUserData(0, 42);
    EXPECT_EQ(list->GetItemUserData(0), 42u);
    EXPECT_EQ(list->GetItemUserData(4), 0u);
    EXPECT_EQ(list->GetItemUserData(-1), 0u);
    list->SetItemUserData(4, 7);
    EXPECT_FALSE(list->SetItemText(0, 2, QStringLiteral("x")));
    EXPECT_FALSE(list->SetItemText(-1, 0, QStringLiteral("x")));
    EXPECT_EQ(list->GetItemText(9, 0), QString());
    EXPECT_EQ(list->GetItemImage(0, 2), -1);
    EXPECT_FALSE(list->SetItemImage(4, 0, 1));
    EXPECT_EQ(list->GetCheck(4), -1);
    EXPECT_FALSE(list->SetCheck(4, true));
    EXPECT_EQ(list->InsertItem(-1, QStringLiteral("x")), -1);
    EXPECT_EQ(list->InsertItem(99, QStringLiteral("appended")), 4);
    EXPECT_EQ(list->InsertColumn(-1, QStringLiteral("x")), -1);
    EXPECT_EQ(list->GetRowRecord(5), nullptr);
    list->AllowEdit(true);
    EXPECT_FALSE(list->EditCell(0, 2));
    EXPECT_FALSE(list->EndEdit(true));
}

TEST_F(EditableListCtrlTest, ImagesAndColumnsKeepEveryRowRecordInStep)
{
    list->SetItemBkColor(0, 1, MakeColorRef(1, 2, 3), false);
    EXPECT_EQ(list->InsertColumn(1, QStringLiteral("Middle"), COLUMN_CENTER, 50), 1);
    const RowRecord* record = list->GetRowRecord(0);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->BkColors.size(), 3u);
    EXPECT_EQ(record->BkColors[1], kWindowColor);
    EXPECT_EQ(record->BkColors[2], MakeColorRef(1, 2, 3));
    EXPECT_EQ(record->TextColors, std::vector<ColorRef>(3, kWindowTextColor));
    EXPECT_EQ(list->GetItemText(0, 2), QStringLiteral("data 0"));
    EXPECT_EQ(list->GetItemImage(0, 0), 0) << "an item inserted without an image shows image 0";
    EXPECT_EQ(list->InsertItem(0, QStringLiteral("hex"), 1), 0);
    EXPECT_EQ(list->GetItemImage(0, 0), 1);
    EXPECT_EQ(list->GetRowRecord(0)->BkColors.size(), 3u);
}

TEST_F(EditableListCtrlTest, EditingAVeryLongTextKeepsItWhole)
{
    list->AllowEdit(true);
    const QString longText(100000, QLatin1Char('7'));
    list->SetItemText(0, 1, longText);
    QSignalSpy edited(list, &CEditableListCtrl::cellEdited);
    ASSERT_TRUE(list->EditCell(0, 1));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(edited.count(), 0);
    EXPECT_EQ(list->GetItemText(0, 1), longText);
}

TEST_F(EditableListCtrlTest, DoubleClickIsReportedWhereItHappened)
{
    QSignalSpy doubleClicked(list, &CEditableListCtrl::listDoubleClicked);
    DoubleClick(2, 1);
    ASSERT_EQ(doubleClicked.count(), 1);
    const QPoint where = doubleClicked[0][0].toPoint();
    EXPECT_EQ(list->HitTestRow(where), 2);
    EXPECT_EQ(list->HitTestRow(QPoint(list->width() - 2, list->height() - 2)), -1);
}

TEST_F(EditableListCtrlTest, KeyboardMovesSelectionAndFocusTogether)
{
    Click(0, 0);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->FindNextItem(ITEM_SELECTED | ITEM_FOCUSED, -1), 1);
    EXPECT_EQ(list->CountItems(ITEM_SELECTED), 1);
    QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(list->CountItems(ITEM_SELECTED), 2);
    EXPECT_EQ(list->FindNextItem(ITEM_FOCUSED, -1), 2);
}
