#pragma once

#include <string>

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
    // Protocol view, after the eight keys of the original program.
    int timeStamp = 0;                    // "TimeStamp": frames with time stamps, 0 or 1
    int frameGap = 20;                    // "FrameGap": milliseconds of silence between frames
    int showSent = 0;                     // "ShowSent": sent frames in the receive area, 0 or 1
    std::string textCodec = "GBK";        // "TextCodec": "GBK" or "UTF-8"
    std::string captureFormat = "raw";    // "CaptureFormat": "raw" or "log"
};

// Reads the keys; a missing key or file gives the member's default. Texts come back cut to
// 99 ("BordRate") and 499 ("SendData") bytes.
WindowSettings LoadSettings(const std::string& path);

// Writes the keys in their fixed order, the eight of the original program first. A text keeps
// only its first line: the file holds one line per key, and what followed a line break would
// otherwise land in the file as lines of its own.
void SaveSettings(const std::string& path, const WindowSettings& settings);
