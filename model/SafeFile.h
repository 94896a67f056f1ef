#pragma once
// Reading and replacing the small text files the tuner keeps its settings in, so that no run can
// hang on them, destroy what they name, or lose them:
// - only regular files are read, and a FIFO or device is never opened blocking;
// - a save never replaces anything but a regular file; a link to one keeps pointing at it and
//   the file it names gets the new text, whole or not at all;
// - a file that could not be used is kept aside before a save replaces it.
// Plain C++ on POSIX calls; every failure comes back as text for the error log.

#include <cstddef>
#include <string>
#include <string_view>

namespace safefile {

enum class ReadStatus {
    Read,       // the whole file is in `text`
    Missing,    // no file of that name
    NotOpened,  // not permitted, or not a regular file (a directory, FIFO, device)
    ReadFailed, // it opened, but reading it failed or it is larger than allowed
};

// Reads the regular file `path` (links followed) whole, up to `maxBytes`. On anything but Read,
// `why` says what went wrong in a few words ("No such file or directory", "a FIFO, not a file").
ReadStatus ReadFile(const std::string& path, std::size_t maxBytes, std::string& text,
                    std::string& why);

// Replaces the content of `path` with `text`: written to a new file beside the file `path`
// resolves to, flushed to disk, then renamed over it, keeping its permissions. A missing file is
// created; anything that is not a regular file (a directory, a device such as /dev/null, a FIFO,
// or a link to one of them) is left alone and the call fails. False with `why` set on failure;
// the old file is then unchanged and nothing is left beside it.
bool ReplaceFile(const std::string& path, std::string_view text, std::string& why);

// The name ReplaceFile writes the new text to before the rename: the target plus ".tmp." and the
// process number, so two programs saving the same file at once each write their own.
std::string TempPathFor(const std::string& target);

enum class KeepStatus {
    Kept,        // copied to `keptAs` now
    AlreadyKept, // `keptAs` already holds the same bytes (kept by an earlier run)
    NotKept,     // `keptAs` holds something else, or the copy failed: `why` says which
};

// Keeps a copy of the regular file `path` as `keptAs`, never overwriting an existing file there.
KeepStatus KeepCopy(const std::string& path, const std::string& keptAs, std::string& why);

} // namespace safefile
