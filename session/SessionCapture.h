#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "session/SessionLoop.h"
#include "session/SessionObserver.h"
#include "traffic/Capture.h"

// A session's recording of its traffic: the capture itself, when it starts (now, or at the
// next opening of the port) and what a lost port does to it. A recording asked for without the
// menus (the command line's) is unattended: a lost port ends it and the next opening continues
// it in the same file, until one from the menus takes over. While recording it looks at the
// writer twice a second, to end a recording that failed and to tell the file's growth.
class SessionCapture {
public:
    static constexpr std::chrono::milliseconds kProgressInterval{500};

    // `changed` hears of every start, stop and growth; `report` of every failure.
    SessionCapture(SessionLoop& loop, std::function<void()> changed,
                   std::function<void(const SessionMessage&)> report);

    void SetOptions(const DisplayOptions& options);
    void Received(const unsigned char* bytes, std::size_t count, const ReadTime& time);
    void Sent(const unsigned char* bytes, std::size_t count, const ReadTime& time, bool passedOn = false);
    void Note(std::string_view note) { capture_.Note(note); }

    // Records into `path` from now on (the menus' recording).
    void Start(const std::string& path, CaptureOpen mode);
    // Records into `path`, continuing it if it exists, from the next opening of the port on (at
    // once when `portOpen`), unattended.
    void StartWhenPortOpens(const std::string& path, bool portOpen);
    void PortOpened();
    void PortLost();
    // Ends the recording, if there is one, and reports a failure that ended it early; false
    // after such a failure.
    bool Stop();
    // Ends the recording, attended or not.
    void StopByUser();

    bool IsActive() const { return capture_.IsActive(); }
    std::uint64_t FileSize() const { return capture_.FileSize(); }
    const std::string& Path() const { return capture_.Path(); }

private:
    void Begin(const std::string& path, CaptureOpen mode);
    void CheckProgress();
    void Changed();

    std::function<void()> changed_;
    std::function<void(const SessionMessage&)> report_;
    Capture capture_;
    DisplayOptions options_;
    std::unique_ptr<SessionTimer> progress_;
    std::string startOnOpen_;
    std::string unattendedPath_;  // "" once a recording from the menus took over
};
