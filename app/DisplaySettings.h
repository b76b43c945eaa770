#pragma once

#include "app/Settings.h"
#include "traffic/DisplayOptions.h"

// The protocol-view options as kept in Config.ini: a value out of range or unknown gives the
// option's default.
DisplayOptions DisplayOptionsFrom(const WindowSettings& settings);
void StoreDisplayOptions(const DisplayOptions& options, WindowSettings& settings);
