#include <climits>
#include <gtest/gtest.h>

#include "sendlist/CyclicSend.h"

TEST(NextCyclicRow, StepsThroughTheRowsAndWrapsToTheFirst)
{
    EXPECT_EQ(NextCyclicRow(-1, 3), 0);
    EXPECT_EQ(NextCyclicRow(0, 3), 1);
    EXPECT_EQ(NextCyclicRow(1, 3), 2);
    EXPECT_EQ(NextCyclicRow(2, 3), 0);
    EXPECT_EQ(NextCyclicRow(0, 1), 0);
}

TEST(NextCyclicRow, AnEmptyListHasNoRowToSend)
{
    EXPECT_EQ(NextCyclicRow(-1, 0), -1);
    EXPECT_EQ(NextCyclicRow(4, 0), -1);
}

TEST(NextCyclicRow, ACurrentRowOutsideTheListStartsAgainAtTheFirst)
{
    EXPECT_EQ(NextCyclicRow(7, 3), 0) << "the list was rebuilt shorter";
    EXPECT_EQ(NextCyclicRow(3, 3), 0);
    EXPECT_EQ(NextCyclicRow(-5, 3), 0);
    EXPECT_EQ(NextCyclicRow(INT_MAX, 3), 0);
    EXPECT_EQ(NextCyclicRow(INT_MAX - 1, INT_MAX), 0);
    EXPECT_EQ(NextCyclicRow(INT_MAX - 2, INT_MAX), INT_MAX - 1);
}
