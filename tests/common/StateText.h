#pragma once
// state.txt as the tuner writes it, for the settings and window tests.

#include <string>
#include <utility>
#include <vector>

namespace statetext {

inline const std::string kHeader = "USED DIRECTLY BY TARVO GUITAR TUNER, DO NOT EDIT!\n";

// The header, then line 2 with the defaults but for the fields given (0-based: concert A in
// hundredths, four colours, MIDI device, recording device, key, hop, tuning count).
inline std::string StateText(const std::vector<std::pair<int, std::string>>& changed = {}) {
    std::vector<std::string> f = {"44000", "10485760", "16711680", "32768", "16711680",
                                  "0",     "0",        "0",        "128",   "0"};
    for (const auto& [field, value] : changed)
        f.at(static_cast<size_t>(field)) = value;
    std::string s = kHeader;
    for (size_t i = 0; i < f.size(); ++i)
        s += (i ? "\t" : "") + f[i];
    return s + "\n";
}

} // namespace statetext
