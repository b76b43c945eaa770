#pragma once

#include "app/Settings.h"
#include "session/FileSend.h"
#include "traffic/DisplayOptions.h"
#include "traffic/SendText.h"

// The protocol-view options as kept in Config.ini: a value out of range or unknown gives the
// option's default.
DisplayOptions DisplayOptionsFrom(const WindowSettings& settings);
void StoreDisplayOptions(const DisplayOptions& options, WindowSettings& settings);

// The sending options ("发送设置") as kept there; a negative packet size or delay reads as 0.
TextSendOptions TextSendOptionsFrom(const WindowSettings& settings);
FileSendOptions FileSendOptionsFrom(const WindowSettings& settings);
void StoreSendOptions(const TextSendOptions& text, const FileSendOptions& file, WindowSettings& settings);
