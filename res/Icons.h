#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icons, drawn in code.

// Icon 128: two computers joined by a cable.
QIcon ApplicationIcon();

// Icon 137: an unlit lamp, a white ring on a transparent ground (port closed).
QPixmap PortClosedIcon(int size);

// Icon 138: a lit lamp, a red disc in a white ring with short red rays around it (port open).
QPixmap PortOpenIcon(int size);
