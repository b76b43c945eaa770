#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

// Files read and written whole: settings, schemes, saved received data.

// Reads the whole file at `path` (through symbolic links) into `contents`. Returns the error,
// empty on success; a file of more than `limit` bytes gives EFBIG. `contents` holds what was
// read only on success.
std::error_code ReadWholeFile(const std::string& path, std::string& contents,
                              std::size_t limit = std::numeric_limits<std::size_t>::max());

// Opens the regular file at `path` (through symbolic links) for reading piece by piece and gives
// its size. A folder, a FIFO or a device gives std::errc::not_supported, without waiting for a
// FIFO's writer. Returns the error, empty on success; `file` is open only on success.
std::error_code OpenRegularFile(const std::string& path, std::FILE*& file, std::uint64_t& size);

// Makes room for `size` bytes in `text`. Room for a large file is asked of the system in huge
// pages where it has them: filling it then takes a small fraction of the page faults (a 50 MB
// settings file reads in hundredths of a second instead of tenths on a virtual machine).
void ReserveLargeText(std::string& text, std::size_t size);

// Replaces the file at `path` with `contents` so that the file is at every moment either the
// old one or the new one, complete, even when the program is killed or the machine stops:
//
//   1. the bytes go to a new temporary file in the target's folder, created exclusively with a
//      name no other writer uses (".<name>.XXXXXX.serialdebug-tmp") and locked while it is
//      written, so two copies of the program never share one and a clean-up leaves it alone;
//   2. the temporary file is flushed to the disk and renamed over the target;
//   3. the folder is flushed, so the rename itself survives.
//
// A symbolic link is followed: the file it names is replaced and the link stays. An existing
// file keeps its permissions; one that may not be written (or a folder) is refused. Returns
// the error, empty on success; on failure the target is as it was and no temporary file stays.
std::error_code ReplaceWholeFile(const std::string& path, std::string_view contents);

// Whether a file name (without its folder) is one of the temporary names ReplaceWholeFile
// makes, or one that earlier versions of the program used ("Default.pol.saving",
// "Config.ini.tmp<pid>.<n>").
bool IsTemporaryFileName(std::string_view name);

// Removes from `folder` the temporary files that a run killed while writing left behind:
// regular files of this user with a temporary name that no running writer holds. Symbolic
// links, folders and other files are left alone. Returns how many were removed.
int RemoveStaleTemporaryFiles(const std::string& folder);
