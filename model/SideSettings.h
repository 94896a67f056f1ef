#pragma once
// Settings that state.txt has no field for, kept in a small file of their own beside it so that
// state.txt keeps its format. One "key=value" a line; keys this version does not know are kept
// and written back, so files pass unharmed between versions.
//
//   # Tarvo Instrument Tuner: settings beyond state.txt, one key=value a line
//   recordingDevice.name=alsa_input.usb-Focusrite_Scarlett_2i2_USB-00.analog-stereo
//
// Reading skips blank lines, lines starting with '#' and lines without a valid key; a damaged
// line loses only itself. Window thread only.

#include "model/SafeFile.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

inline constexpr const char* kSideSettingsFileName = "state-extra.txt";
// A side file holds a few short lines; a larger one is damaged and is not read into memory.
inline constexpr std::size_t kMaxSideSettingsBytes = std::size_t{1} << 20;

class SideSettings {
public:
    // Replaces every entry with the file's, read the way state.txt is (safefile::ReadFile). On
    // anything but Read there are no entries and `why` says what failed.
    safefile::ReadStatus ReadFile(const std::string& path, std::string& why);
    // Saved the way state.txt is (safefile::ReplaceFile). False, with `why`, when anything fails.
    bool WriteFile(const std::string& path, std::string& why) const;

    void ReadText(std::string_view text);
    std::string WriteText() const;

    // "" when the key has no value.
    std::string Get(const std::string& key) const;
    // An empty value removes the key. False, and nothing changes, for what one line cannot hold:
    // a key outside [A-Za-z0-9._-]+, a value with a line break or NUL.
    bool Set(const std::string& key, const std::string& value);

    bool operator==(const SideSettings&) const = default;

private:
    std::map<std::string, std::string> m_entries;
};
