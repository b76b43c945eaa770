#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icons, drawn in code.

// Icon 128: two computers joined by a cable.
QIcon ApplicationIcon();

// Icon 128 drawn at `size` x `size` pixels (smoothed above 32), e.g. for the desktop's icon files.
QPixmap ApplicationPixmap(int size);

// Icon 137: an unlit lamp, a white ring on a transparent ground (port closed).
QPixmap PortClosedIcon(int size);

// Icon 138: a lit lamp, a red disc in a white ring with short red rays around it (port open).
QPixmap PortOpenIcon(int size);
