#pragma once
// Stored guitar tunings: carried unchanged from one run to the next in state.txt.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t kTuningStrings = 6;
constexpr std::size_t kMaxTuningNameLength = 254;

struct StringPitch {
    int32_t note = 0;   // 0..11, 0 = C
    int32_t octave = 0; // 0..2 within the tuning
    bool operator==(const StringPitch&) const = default;
};

struct Tuning {
    std::array<StringPitch, kTuningStrings> strings{}; // string 1 .. string 6
    std::string name;                                  // 0..254 characters, no tab or line feed
    uint32_t tag = 0;                                  // carried unchanged
    bool operator==(const Tuning&) const = default;
};

// Ordered list of tunings (copies) with a read cursor for walking it in order:
// ReadAt(0, t), then ReadNext(t) until it returns false.
class TuningList {
public:
    void Append(const Tuning& tuning);
    void Clear();
    int32_t Count() const;

    // 0 <= index < Count(): copies the tuning out, moves the cursor to the next one, true.
    // Otherwise the cursor goes past the end and the result is false.
    bool ReadAt(int32_t index, Tuning& tuning);
    // Copies the tuning at the cursor and advances; false once the cursor is past the end.
    bool ReadNext(Tuning& tuning);

    bool operator==(const TuningList& other) const { return m_tunings == other.m_tunings; }

private:
    static constexpr std::size_t kPastEnd = static_cast<std::size_t>(-1);

    std::vector<Tuning> m_tunings;
    std::size_t m_nCursor = kPastEnd; // an index into m_tunings, or kPastEnd
};
