#include "model/TunerSettings.h"

#include "model/SafeFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

// state.txt format constants.
constexpr uint32_t kMinStoredConcertA = 43000; // hundredths of a hertz
constexpr uint32_t kMaxStoredConcertA = 45000;
constexpr int32_t kMaxTuningOctave = 2;
constexpr char kFieldSeparator = '\t';
constexpr char kLineEnd = '\n';

// Reads state.txt text the way a C++ stream extraction does in the "C" locale, without
// depending on any locale: numbers skip leading blanks, tabs and line ends, take an optional
// sign and decimal digits, and stop at the first other character.
class StateTextReader {
public:
    explicit StateTextReader(std::string_view text) : m_text(text) {}

    // Skips everything up to and including the first line feed, whatever the line holds.
    bool SkipLine() {
        const std::size_t lf = m_text.find(kLineEnd, m_nPos);
        if (lf == std::string_view::npos) {
            return false;
        }
        m_nPos = lf + 1;
        return true;
    }

    // Unsigned 32-bit extraction: a minus sign negates modulo 2^32, as strtoul does.
    bool ReadUnsigned(uint32_t& value) {
        bool bNegative = false;
        uint32_t magnitude = 0;
        if (!ReadMagnitude(bNegative, magnitude)) {
            return false;
        }
        value = bNegative ? 0u - magnitude : magnitude;
        return true;
    }

    bool ReadSigned(int32_t& value) {
        bool bNegative = false;
        uint32_t magnitude = 0;
        if (!ReadMagnitude(bNegative, magnitude)) {
            return false;
        }
        constexpr uint32_t kMaxPositive = std::numeric_limits<int32_t>::max();
        if (bNegative) {
            if (magnitude > kMaxPositive + 1u) {
                return false;
            }
            value = static_cast<int32_t>(0u - magnitude);
        } else {
            if (magnitude > kMaxPositive) {
                return false;
            }
            value = static_cast<int32_t>(magnitude);
        }
        return true;
    }

    // A field that must be >= 0 but that the writer stores as an unsigned 32-bit number, so a
    // negative index comes back as 2147483648..4294967295. Those read as `negative`.
    bool ReadIndex(int32_t& value) {
        bool bNegative = false;
        uint32_t magnitude = 0;
        if (!ReadMagnitude(bNegative, magnitude)) {
            return false;
        }
        if (bNegative && magnitude != 0) {
            return false;
        }
        value = magnitude > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())
                    ? -1
                    : static_cast<int32_t>(magnitude);
        return true;
    }

    // The end of a line after its last number: blanks, tabs and carriage returns, then a line
    // feed or the end of the text. Anything else there fails: it belongs to no field.
    bool EndLine() {
        while (m_nPos < m_text.size() &&
               (m_text[m_nPos] == ' ' || m_text[m_nPos] == '\t' || m_text[m_nPos] == '\r')) {
            ++m_nPos;
        }
        if (m_nPos == m_text.size()) {
            return true;
        }
        if (m_text[m_nPos] != kLineEnd) {
            return false;
        }
        ++m_nPos;
        return true;
    }

    // Where reading stopped, for a message: its line, from 1, and whether the text ends there.
    std::size_t Line() const {
        const std::size_t end = std::min(m_nPos, m_text.size());
        return 1 + static_cast<std::size_t>(
                       std::count(m_text.begin(), m_text.begin() + static_cast<long>(end), '\n'));
    }
    bool AtEnd() const { return m_nPos >= m_text.size(); }

    // A tuning name: up to kMaxTuningNameLength characters before the next tab; the tab stays
    // for the next number read to skip. False at a line feed: a name cannot hold one, so the
    // line it ends is damaged.
    bool ReadName(std::string& name) {
        const std::size_t tab = m_text.find(kFieldSeparator, m_nPos);
        const std::size_t end = std::min({tab, m_text.size(), m_nPos + kMaxTuningNameLength});
        name.assign(m_text.substr(m_nPos, end - m_nPos));
        const std::size_t lf = name.find(kLineEnd);
        if (lf != std::string::npos) {
            m_nPos += lf;
            return false;
        }
        m_nPos = end;
        return true;
    }

private:
    static bool IsSpace(char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

    // Optional sign and at least one digit; fails when the digits exceed 2^32 - 1.
    bool ReadMagnitude(bool& bNegative, uint32_t& magnitude) {
        while (m_nPos < m_text.size() && IsSpace(m_text[m_nPos])) {
            ++m_nPos;
        }
        bNegative = false;
        if (m_nPos < m_text.size() && (m_text[m_nPos] == '+' || m_text[m_nPos] == '-')) {
            bNegative = m_text[m_nPos] == '-';
            ++m_nPos;
        }
        if (m_nPos >= m_text.size() || !IsDigit(m_text[m_nPos])) {
            return false;
        }
        uint64_t value = 0;
        bool bOverflow = false;
        while (m_nPos < m_text.size() && IsDigit(m_text[m_nPos])) {
            value = value * 10 + static_cast<uint64_t>(m_text[m_nPos] - '0');
            if (value > std::numeric_limits<uint32_t>::max()) {
                bOverflow = true;
                value = std::numeric_limits<uint32_t>::max(); // keep reading the digits
            }
            ++m_nPos;
        }
        magnitude = static_cast<uint32_t>(value);
        return !bOverflow;
    }

    std::string_view m_text;
    std::size_t m_nPos = 0;
};

void AppendNumber(std::string& out, auto value) {
    char buf[16];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, result.ptr);
}

} // namespace

TunerSettings::TunerSettings() {
    ApplyDefaults();
}

// The atomics cannot be copied as members; both copies go through the setters.
TunerSettings::TunerSettings(const TunerSettings& other) {
    *this = other;
}

TunerSettings& TunerSettings::operator=(const TunerSettings& other) {
    if (this != &other) {
        tunings = other.tunings;
        SetColors(other.GetColors());
        SetKeyIndex(other.GetKeyIndex());
        SetConcertA(other.GetConcertA());
        SetMidiDevice(other.GetMidiDevice());
        SetRecordingDevice(other.GetRecordingDevice());
        SetAnalysisHop(other.GetAnalysisHop());
    }
    return *this;
}

ColorScheme TunerSettings::GetColors() const {
    return ColorScheme{GetNeedleColor(), GetHighEnergyColor(), GetLowEnergyColor(), GetTextColor()};
}

void TunerSettings::SetColors(const ColorScheme& colors) {
    SetNeedleColor(colors.needleColor);
    SetHighEnergyColor(colors.highEnergyColor);
    SetLowEnergyColor(colors.lowEnergyColor);
    SetTextColor(colors.textColor);
}

void TunerSettings::ApplyDefaults() {
    SetConcertA(kDefaultConcertA);
    SetKeyIndex(0);
    SetHighEnergyColor(kDefaultHighEnergyColor);
    SetLowEnergyColor(kDefaultLowEnergyColor);
    SetNeedleColor(kDefaultNeedleColor);
    SetTextColor(kDefaultTextColor);
    SetMidiDevice(0);
    SetRecordingDevice(0);
    SetAnalysisHop(kDefaultAnalysisHop);
}

bool TunerSettings::ReadStateFile(const std::string& path, StateFileProblem* problem) {
    std::string text;
    std::string why;
    const safefile::ReadStatus status = safefile::ReadFile(path, kMaxStateFileBytes, text, why);
    bool bOk = false;
    StateFileProblem::Kind kind = StateFileProblem::Kind::Unreadable;
    switch (status) {
    case safefile::ReadStatus::Read:
        bOk = ReadStateText(text, &why);
        break;
    case safefile::ReadStatus::Missing:
        kind = StateFileProblem::Kind::Missing;
        break;
    case safefile::ReadStatus::NotOpened:
        kind = StateFileProblem::Kind::NotOpened;
        break;
    case safefile::ReadStatus::ReadFailed:
        break;
    }
    if (!bOk) {
        tunings.Clear();
        if (problem != nullptr) {
            *problem = StateFileProblem{kind, why};
        }
    }
    return bOk;
}

bool TunerSettings::ReadStateText(std::string_view text, std::string* why) {
    // Everything is read into locals first, so a bad file changes nothing but the tunings.
    StateTextReader in(text);
    uint32_t storedConcertA = 0;
    ColorScheme colors;
    int32_t nMidiDevice = 0;
    int32_t nRecordingDevice = 0;
    int32_t nKeyIndex = 0;
    int32_t nHop = 0;
    int32_t nTunings = 0;
    TuningList list;

    const auto fail = [this, &in, why] {
        tunings.Clear();
        if (why != nullptr) {
            *why = in.AtEnd()
                       ? "it ends early, in line " + std::to_string(in.Line())
                       : "line " + std::to_string(in.Line()) + " is not in the tuner's format";
        }
        return false;
    };
    const auto readColor = [&in](uint32_t& color) {
        return in.ReadUnsigned(color) && color <= kMaxColor;
    };

    if (!in.SkipLine()) {
        return fail();
    }
    if (!in.ReadUnsigned(storedConcertA) || storedConcertA < kMinStoredConcertA ||
        storedConcertA > kMaxStoredConcertA) {
        return fail();
    }
    if (!readColor(colors.needleColor) || !readColor(colors.highEnergyColor) ||
        !readColor(colors.lowEnergyColor) || !readColor(colors.textColor)) {
        return fail();
    }
    // Indexes are written as unsigned 32-bit numbers; the writer's form of a negative index
    // (4294967295 for -1, no selection) reads back as -1.
    if (!in.ReadIndex(nMidiDevice) || !in.ReadIndex(nRecordingDevice) || !in.ReadIndex(nKeyIndex)) {
        return fail();
    }
    if (!in.ReadSigned(nHop) || nHop < 0) {
        return fail();
    }
    if (!in.ReadSigned(nTunings) || nTunings < 0 || !in.EndLine()) {
        return fail();
    }

    for (int32_t i = 0; i < nTunings; ++i) {
        Tuning tuning;
        if (!in.ReadName(tuning.name) || !in.ReadUnsigned(tuning.tag)) {
            return fail();
        }
        for (StringPitch& pitch : tuning.strings) {
            if (!in.ReadSigned(pitch.note) || !in.ReadSigned(pitch.octave)) {
                return fail();
            }
            if (pitch.note < 0 || pitch.note >= kNoteCount || pitch.octave < 0 ||
                pitch.octave > kMaxTuningOctave) {
                return fail();
            }
        }
        if (!in.EndLine()) {
            return fail();
        }
        list.Append(tuning);
    }

    SetConcertA(static_cast<float>(storedConcertA) / 100.0f);
    SetColors(colors);
    SetMidiDevice(nMidiDevice);
    SetRecordingDevice(nRecordingDevice);
    // A key the selector cannot show means no transposition.
    SetKeyIndex(IsValidKeyIndex(nKeyIndex) ? nKeyIndex : 0);
    SetAnalysisHop(static_cast<float>(nHop));
    tunings = std::move(list);
    return true;
}

std::string TunerSettings::WriteStateText() {
    std::string out;
    out.reserve(128 + 64 * static_cast<std::size_t>(tunings.Count()));
    out += kStateFileHeader;
    out += kLineEnd;

    // Concert A in hundredths, truncated. The product is taken in float so that every stored
    // value read back (value / 100 as a float) is written again unchanged.
    float fConcertA = GetConcertA();
    if (std::isnan(fConcertA)) {
        fConcertA = kDefaultConcertA;
    }
    // Out-of-range values are clamped: a stored value the reader refuses would lose everything.
    fConcertA = std::clamp(fConcertA, kMinConcertA, kMaxConcertA);
    const float fHundredths = fConcertA * 100.0f;
    AppendNumber(out, static_cast<uint32_t>(fHundredths));
    out += kFieldSeparator;

    // Only the 24 colour bits: a stray high byte would make the whole file unreadable.
    const ColorScheme colors = GetColors();
    for (uint32_t color :
         {colors.needleColor, colors.highEnergyColor, colors.lowEnergyColor, colors.textColor}) {
        AppendNumber(out, color & kMaxColor);
        out += kFieldSeparator;
    }
    // Indexes as unsigned 32-bit numbers: -1 (no selection) is 4294967295.
    for (int32_t index : {GetMidiDevice(), GetRecordingDevice(), GetKeyIndex()}) {
        AppendNumber(out, static_cast<uint32_t>(index));
        out += kFieldSeparator;
    }
    // Whole samples, kept within what the reader takes back.
    const float fHop = GetAnalysisHop();
    uint32_t nHop = 0;
    if (fHop >= 2147483648.0f) {
        nHop = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
    } else if (fHop >= 0.0f) {
        nHop = static_cast<uint32_t>(fHop);
    }
    AppendNumber(out, nHop);
    out += kFieldSeparator;
    AppendNumber(out, static_cast<uint32_t>(tunings.Count()));
    out += kLineEnd;

    Tuning tuning;
    for (bool bMore = tunings.ReadAt(0, tuning); bMore; bMore = tunings.ReadNext(tuning)) {
        // What the reader takes back as the same name: no tab or line feed, not too long.
        std::string name = tuning.name.substr(0, kMaxTuningNameLength);
        std::replace_if(
            name.begin(), name.end(), [](char c) { return c == kFieldSeparator || c == kLineEnd; },
            ' ');
        out += name;
        out += kFieldSeparator;
        AppendNumber(out, tuning.tag);
        for (const StringPitch& pitch : tuning.strings) {
            out += kFieldSeparator;
            AppendNumber(out, pitch.note);
            out += kFieldSeparator;
            AppendNumber(out, pitch.octave);
        }
        out += kLineEnd;
    }
    return out;
}

bool TunerSettings::WriteStateFile(const std::string& path, std::string* why) {
    std::string problem;
    const bool bOk = safefile::ReplaceFile(path, WriteStateText(), problem);
    if (!bOk && why != nullptr) {
        *why = problem;
    }
    return bOk;
}
