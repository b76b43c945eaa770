#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "ListFixture.h"
#include "controls/ListImages.h"
#include "controls/LocaleDate.h"

namespace {

class ListSortingTest : public ListFixture {
protected:
    void SetColumn(int column, const QStringList& texts)
    {
        for (int row = 0; row < texts.size(); ++row)
            list->SetItemText(row, column, texts[row]);
    }

    QStringList Column(int column) const
    {
        QStringList texts;
        for (int row = 0; row < list->GetItemCount(); ++row)
            texts << list->GetItemText(row, column);
        return texts;
    }

    void ClickHeader(int column)
    {
        QHeaderView* header = list->horizontalHeader();
        const QPoint pos(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    }

    QRgb PixelNearRightEdge(int row, int column)
    {
        const QRect cell = list->visualRect(list->model()->index(row, column));
        return list->viewport()->grab().toImage().pixel(cell.right() - 4, cell.center().y());
    }
};

} // namespace

TEST_F(ListSortingTest, HeaderClicksAlternateAndAnotherColumnRestartsAscending)
{
    SetColumn(1, {QStringLiteral("10"), QStringLiteral("9"), QStringLiteral("0x1F"), QStringLiteral("A")});
    QSignalSpy sorted(list, &CEditableListCtrl::sorted);
    ClickHeader(1);
    EXPECT_EQ(Column(1), (QStringList{"9", "A", "10", "0x1F"}));
    ClickHeader(1);
    EXPECT_EQ(Column(1), (QStringList{"0x1F", "10", "A", "9"}));
    ClickHeader(1);
    EXPECT_EQ(Column(1), (QStringList{"9", "A", "10", "0x1F"}));
    ClickHeader(1);
    ClickHeader(0);
    ClickHeader(1);
    ASSERT_EQ(sorted.count(), 6);
    const QList<QList<QVariant>> expected{{1, 1}, {1, 0}, {1, 1}, {1, 0}, {0, 1}, {1, 1}};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(sorted[k], expected[k]) << "click " << k;
}

TEST_F(ListSortingTest, DecimalAndTextColumnsSort)
{
    SetColumn(1, {QStringLiteral("12%"), QStringLiteral("2"), QStringLiteral("1.5"), QString()});
    list->SortByColumn(1, true);
    EXPECT_EQ(Column(1), (QStringList{"", "1.5", "2", "12%"}));
    SetColumn(0, {QStringLiteral("b"), QStringLiteral("aa"), QStringLiteral("-1"), QStringLiteral("ff")});
    list->SortByColumn(0, true);
    EXPECT_EQ(Column(0), (QStringList{"b", "aa", "ff", "-1"}));
}

TEST_F(ListSortingTest, DatesInTheUsualFormsSortAsMoments)
{
    SetColumn(1, {QStringLiteral("2024-03-05"), QStringLiteral("2023-12-31"), QStringLiteral("2024-1-2"),
                     QStringLiteral("2024/1/2 08:00:00")});
    list->SortByColumn(1, true);
    EXPECT_EQ(Column(1), (QStringList{"2023-12-31", "2024-1-2", "2024/1/2 08:00:00", "2024-03-05"}));
    SetColumn(0, {QStringLiteral("14:30"), QStringLiteral("9:05"), QStringLiteral("23:59:59"), QStringLiteral("0:00")});
    list->SortByColumn(0, true);
    EXPECT_EQ(Column(0), (QStringList{"0:00", "9:05", "14:30", "23:59:59"}));
    EXPECT_EQ(list->CompareRows(0, 3), -1);
    EXPECT_FALSE(ParseLocaleDateTime("no digits").has_value());
    for (const char* notADate : {"2024-13-40", "2023-02-29", "24:00", "12:60", "2024-1-2 7", "2024-1/2"})
        EXPECT_FALSE(ParseLocaleDateTime(notADate).has_value()) << notADate;
    EXPECT_EQ(ParseLocaleDateTime("1900-01-01 06:00"), 2.25);
    EXPECT_EQ(ParseLocaleDateTime(" 12:00:00 "), 0.5);
}

TEST_F(ListSortingTest, RecordsChecksSelectionAndFocusFollowTheirRows)
{
    list->SetCheckStyle(CHECK_MULTI);
    SetColumn(1, {QStringLiteral("c"), QStringLiteral("a"), QStringLiteral("d"), QStringLiteral("b")});
    for (int row = 0; row < 4; ++row)
        list->SetItemUserData(row, static_cast<std::uintptr_t>(100 + row));
    list->SetItemBkColor(0, -1, MakeColorRef(255, 0, 0), true);
    list->SetItemBkColor(2, 1, MakeColorRef(0, 255, 0), true);
    list->SetCheck(2, true);
    list->SetItemStates(0, ITEM_SELECTED | ITEM_FOCUSED);
    list->SetItemImage(2, 0, 1);

    ClickHeader(1);
    ASSERT_EQ(Column(1), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(list->GetItemUserData(2), 100u);
    EXPECT_EQ(list->GetRowRecord(2)->BkColors, (std::vector<ColorRef>{0x0000FF, 0x0000FF}));
    EXPECT_EQ(list->GetItemStates(2), unsigned{ITEM_SELECTED | ITEM_UNCHECKED | ITEM_FOCUSED});
    EXPECT_EQ(list->GetItemUserData(3), 102u);
    EXPECT_EQ(list->GetRowRecord(3)->BkColors, (std::vector<ColorRef>{kWindowColor, 0x00FF00}));
    EXPECT_EQ(list->GetItemStates(3), unsigned{ITEM_UNSELECTED | ITEM_CHECKED | ITEM_UNFOCUSED});
    EXPECT_EQ(list->GetItemImage(3, 0), 1);
    EXPECT_EQ(list->GetItemText(3, 0), QStringLiteral("caption 2"));
    EXPECT_EQ(list->GetItemUserData(0), 101u);
}

TEST_F(ListSortingTest, EditingOrInsertingMakesTheNextClickAscending)
{
    list->AllowEdit(true);
    ClickHeader(0);
    ClickHeader(0);
    EXPECT_FALSE(list->IsSortAscending());
    ASSERT_TRUE(list->EditCell(0, 1));
    QTest::keyClicks(list->findChild<QLineEdit*>(), QStringLiteral("z"));
    QTest::keyClick(list->findChild<QLineEdit*>(), Qt::Key_Return);
    QSignalSpy sorted(list, &CEditableListCtrl::sorted);
    ClickHeader(0);
    ClickHeader(0);
    list->InsertItem(4, QStringLiteral("caption 9"));
    ClickHeader(0);
    ASSERT_EQ(sorted.count(), 3);
    EXPECT_EQ(sorted[0][1], 1);
    EXPECT_EQ(sorted[1][1], 0);
    EXPECT_EQ(sorted[2][1], 1);
}

TEST_F(ListSortingTest, ASortEndsAnOpenEditSavingIt)
{
    list->AllowEdit(true);
    ASSERT_TRUE(list->EditCell(3, 0));
    list->findChild<QLineEdit*>()->setText(QStringLiteral("a first"));
    ClickHeader(0);
    EXPECT_EQ(list->GetItemText(0, 0), QStringLiteral("a first"));
    EXPECT_EQ(list->GetEditItem(), -1);
    EXPECT_EQ(list->GetSortColumn(), 0) << "the sort follows the saved edit";
}

TEST_F(ListSortingTest, AHeaderThatIsNotClickableSortsNothing)
{
    QSignalSpy sorted(list, &CEditableListCtrl::sorted);
    list->horizontalHeader()->setSectionsClickable(false);
    SetColumn(0, {QStringLiteral("d"), QStringLiteral("c"), QStringLiteral("b"), QStringLiteral("a")});
    ClickHeader(0);
    list->SortByColumn(0, true);
    list->horizontalHeader()->setSectionsClickable(true);
    list->SortByColumn(2, true);
    list->SortByColumn(-1, true);
    EXPECT_EQ(sorted.count(), 0);
    EXPECT_EQ(Column(0), (QStringList{"d", "c", "b", "a"}));
    EXPECT_EQ(list->GetSortColumn(), -1);
}

TEST_F(ListSortingTest, AShortListIsLeftAloneButStillReported)
{
    list->DeleteItems(ITEM_ANY);
    list->InsertItem(0, QStringLiteral("only"));
    QSignalSpy sorted(list, &CEditableListCtrl::sorted);
    list->SortByColumn(0, false);
    ASSERT_EQ(sorted.count(), 1);
    EXPECT_EQ(sorted[0], (QList<QVariant>{0, 0}));
    EXPECT_EQ(list->GetSortColumn(), 0);
    EXPECT_FALSE(list->SortRange(0, 0));
    EXPECT_FALSE(list->SortRange(0, 1));
}

TEST_F(ListSortingTest, SortRangeNeedsASortColumnAndTwoValidRows)
{
    EXPECT_FALSE(list->SortRange(0, 3)) << "no sort column yet";
    list->SortByColumn(1, false);
    EXPECT_TRUE(list->SortRange(1, 3));
    EXPECT_FALSE(list->SortRange(3, 1));
    EXPECT_FALSE(list->SortRange(-1, 2));
    EXPECT_FALSE(list->SortRange(2, 4));
    EXPECT_EQ(Column(1), (QStringList{"data 3", "data 2", "data 1", "data 0"}));
}

TEST_F(ListSortingTest, CellsPaintTheirRecordsBackground)
{
    list->SetItemBkColor(-1, -1, 255, true);
    EXPECT_EQ(PixelNearRightEdge(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(PixelNearRightEdge(3, 1), qRgb(255, 0, 0));
    list->SetItemBkColor(2, -1, kWindowColor, true);
    EXPECT_EQ(PixelNearRightEdge(2, 1), list->palette().color(QPalette::Base).rgb());
    EXPECT_EQ(PixelNearRightEdge(1, 1), qRgb(255, 0, 0));
    list->SetItemBkColor(-1, 0, MakeColorRef(195, 213, 253), true);
    EXPECT_EQ(PixelNearRightEdge(2, 0), qRgb(195, 213, 253));
    EXPECT_EQ(PixelNearRightEdge(2, 1), list->palette().color(QPalette::Base).rgb());
}

TEST_F(ListSortingTest, SendTypeImagesAreTwoMaskedTiles)
{
    const QImage strip = MakeSendTypeImages();
    ASSERT_EQ(strip.size(), QSize(32, 16));
    EXPECT_EQ(strip.pixel(0, 0), qRgb(255, 0, 255));
    EXPECT_EQ(strip.pixel(17, 8), qRgb(255, 0, 0));
    EXPECT_EQ(strip.pixel(18, 3), qRgb(255, 255, 0));
    EXPECT_EQ(strip.pixel(20, 8), qRgb(0, 0, 0)) << "the bar of the H";
    list->SetImageList(strip, kSendTypeImagesMask);
    list->SetItemImage(1, 0, 1);
    const QPixmap shown = list->model()->index(1, 0).data(Qt::DecorationRole).value<QPixmap>();
    ASSERT_EQ(shown.size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(shown.toImage().pixel(0, 0)), 0) << "the mask colour is transparent";
    EXPECT_EQ(shown.toImage().pixel(4, 8), qRgb(0, 0, 0));
    EXPECT_TRUE(list->model()->index(1, 1).data(Qt::DecorationRole).isNull());
}

TEST_F(ListSortingTest, AHundredThousandRowsComeAndGo)
{
    list->DeleteItems(ITEM_ANY);
    const int count = 100000;
    for (int row = 0; row < count; ++row) {
        ASSERT_EQ(list->InsertItem(row, QString::number(count - row)), row);
        list->SetItemText(row, 1, QStringLiteral("data"));
        list->SetItemBkColor(row, 0, MakeColorRef(195, 213, 253), true);
        list->SetItemUserData(row, static_cast<std::uintptr_t>(row));
    }
    list->SortByColumn(0, true);
    EXPECT_EQ(list->GetItemText(0, 0), QStringLiteral("1"));
    EXPECT_EQ(list->GetItemUserData(0), static_cast<std::uintptr_t>(count - 1));
    list->SetItemStatesAll(ITEM_ANY, ITEM_SELECTED);
    EXPECT_EQ(list->DeleteItems(ITEM_SELECTED), count);
    EXPECT_EQ(list->GetItemCount(), 0);
}
