#pragma once

#include <QImage>

#include "controls/ListRows.h"

// The two 16x16 images of the send lists side by side: image 0 a letter S (text entry),
// image 1 a letter H (hex entry), black on yellow with a red border, on the mask colour.
QImage MakeSendTypeImages();

inline constexpr ColorRef kSendTypeImagesMask = 0xFF00FF;
