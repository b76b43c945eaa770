#pragma once

#include <string>
#include <vector>

#include "platform/ProfileDocument.h"

// The main window's values kept in the "Setting" section of Config.ini from one run to the next.
struct WindowSettings {
    int port = 0;                         // "Port": index in the port list, 0 = COM1
    std::string bordRate = "9600,n,8,1";  // "BordRate": the line-settings string
    int autoClear = 0;                    // "AutoClear"
    int autoRecive = 0;                   // "AutoRecive": auto-reply
    int interval = 0;                     // "InterVal": auto-send period in milliseconds
    int hexDisplay = 0;                   // "HexDisplay"
    int hexSend = 0;                      // "HexSend"
    std::string sendData;                 // "SendData": the send area's text
    int autoReconnect = 0;                // "AutoReconnect": open a lost port again when its device is back
    // Protocol view.
    int timeStamp = 0;                    // "TimeStamp": frames with time stamps, 0 or 1
    int frameGap = 20;                    // "FrameGap": milliseconds of silence between frames
    int showSent = 0;                     // "ShowSent": sent frames in the receive area, 0 or 1
    std::string textCodec = "GBK";        // "TextCodec": "GBK" or "UTF-8"
    std::string captureFormat = "raw";    // "CaptureFormat": "raw" or "log"
    int instantReply = 0;                 // "InstantReply": auto-reply decided as the bytes are read
    // Sending.
    int sendEscapes = 0;                  // "SendEscapes": escapes in text sends, 0 or 1
    std::string lineEnding = "none";      // "LineEnding": "none", "CR", "LF" or "CRLF"
    int filePacketSize = 0;               // "FilePacketSize": bytes per packet of a file send, 0 = whole
    int filePacketDelay = 0;              // "FilePacketDelay": milliseconds between packets
    int modbusDecode = 0;                 // "ModbusDecode": frames described as Modbus RTU, 0 or 1
    int replyStatistics = 0;              // "ReplyStatistics": how the auto-reply rules answered, 0 or 1
};

// Several main windows keep their values in sections of their own: the first window in
// "Setting", window k (k >= 2) in "Window<k>", with the same keys. "Windows" in "Setting", after
// its other keys, says how many windows were open at exit (1 to kMaxWindows).
constexpr int kMaxWindows = 16;

// Reads the eight keys and those that follow them of window `window`; a missing key gives the
// member's default. Texts come back cut to 99 ("BordRate") and 499 ("SendData") bytes.
WindowSettings LoadSettings(const ProfileDocument& profile, int window = 1);
// The same from the file, read once; a missing or unreadable file gives the defaults.
WindowSettings LoadSettings(const std::string& path, int window = 1);
// "Windows": 1 when it is missing or not a number from 1 to kMaxWindows.
int LoadWindowCount(const ProfileDocument& profile);

// Sets the eight keys of window `window` in their fixed order, then those that follow them, each
// as the profile writer sets one key. A text keeps only its first line: the file holds one line
// per key, and what followed a line break would otherwise land in the file as lines of its own.
void StoreSettings(ProfileDocument& profile, const WindowSettings& settings, int window = 1);
// The settings of every window open at exit, the first in "Setting": read once, then replaced
// once, so the file holds all the old values or all the new ones. "Windows" is written when there
// is more than one window, or the file has it already. A file that exists but cannot be read or
// written is left as it is.
void SaveSettings(const std::string& path, const std::vector<WindowSettings>& windows);
void SaveSettings(const std::string& path, const WindowSettings& settings);
