#pragma once

// The row the next step of a cyclic send goes to: the row after `current`, or the first row
// once the last one was passed; -1 when there is no row. A current row below -1 counts as -1,
// and one at or beyond the end (the list was rebuilt shorter) wraps to the first row.
int NextCyclicRow(int current, int rowCount);
