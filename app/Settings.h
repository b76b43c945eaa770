#pragma once

#include <string>

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
};

// Reads the eight keys and those that follow them; a missing key gives the member's default.
// Texts come back cut to 99 ("BordRate") and 499 ("SendData") bytes.
WindowSettings LoadSettings(const ProfileDocument& profile);
// The same from the file, read once; a missing or unreadable file gives the defaults.
WindowSettings LoadSettings(const std::string& path);

// Sets the eight keys in their fixed order, then those that follow them, each as the profile
// writer sets one key. A text keeps only its first line: the file holds one line per key, and
// what followed a line break would otherwise land in the file as lines of its own.
void StoreSettings(ProfileDocument& profile, const WindowSettings& settings);
// The same on the file: read once, then replaced once, so the file holds all the old values or
// all the new ones. A file that exists but cannot be read or written is left as it is.
void SaveSettings(const std::string& path, const WindowSettings& settings);
