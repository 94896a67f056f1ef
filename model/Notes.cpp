#include "model/Notes.h"

#include <charconv>

std::string ConcertAButtonText(float hz) {
    // to_chars rounds like printf's "%.1f" but never uses a locale's decimal comma.
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, hz, std::chars_format::fixed, 1);
    if (ec != std::errc()) {
        return " Hz";
    }
    return std::string(buf, end) + " Hz";
}

ShownNote Transpose(int32_t note, int32_t octave, int32_t keyIndex) {
    if (!IsValidKeyIndex(keyIndex)) {
        keyIndex = 0;
    }
    const int32_t d = note - keyIndex;
    int32_t shown = d % kNoteCount;
    if (shown < 0) {
        shown += kNoteCount;
    }
    return ShownNote{shown, d < 0 ? octave - 1 : octave};
}
