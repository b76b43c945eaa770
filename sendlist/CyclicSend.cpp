#include "sendlist/CyclicSend.h"

int NextCyclicRow(int current, int rowCount)
{
    if (rowCount <= 0) {
        return -1;
    }
    if (current < 0) {
        return 0;
    }
    return current < rowCount - 1 ? current + 1 : 0;
}
