#include "model/TunerSettings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

#if __has_include(<unistd.h>)
#include <unistd.h> // fsync: the new file must be on disk before it replaces the old one
#define TARVO_HAVE_UNISTD 1
#endif

namespace {

// state.txt format constants.
constexpr uint32_t kMinStoredConcertA = 43000; // hundredths of a hertz
constexpr uint32_t kMaxStoredConcertA = 45000;
constexpr int32_t kMaxTuningOctave = 2;
constexpr char kFieldSeparator = '\t';
constexpr char kLineEnd = '\n';
constexpr const char* kTempSuffix = ".tmp.";

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

    // The line end after the last number of a line: "\r\n" or one character, nothing else.
    void ConsumeLineEnd() {
        if (m_nPos + 1 < m_text.size() && m_text[m_nPos] == '\r' && m_text[m_nPos + 1] == '\n') {
            m_nPos += 2;
        } else if (m_nPos < m_text.size()) {
            ++m_nPos;
        }
    }

    // A tuning name: up to kMaxTuningNameLength characters before the next tab; the tab stays
    // for the next number read to skip.
    void ReadName(std::string& name) {
        const std::size_t tab = m_text.find(kFieldSeparator, m_nPos);
        const std::size_t end = std::min({tab, m_text.size(), m_nPos + kMaxTuningNameLength});
        name.assign(m_text.substr(m_nPos, end - m_nPos));
        m_nPos = end;
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
        extra = other.extra;
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

bool TunerSettings::ReadStateFile(const std::string& path) {
    std::string text;
    if (!ReadSettingsFile(path, text)) {
        tunings.Clear();
        return false;
    }
    return ReadStateText(text);
}

bool TunerSettings::ReadSettingsFile(const std::string& path, std::string& text) {
    // C stdio: a read error (a directory, a device) is a result here, not an exception.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    text.clear();
    char buf[4096];
    std::size_t nRead = 0;
    bool bTooLong = false;
    while ((nRead = std::fread(buf, 1, sizeof buf, file)) > 0) {
        if (text.size() + nRead > kMaxStateFileBytes) {
            bTooLong = true;
            break;
        }
        text.append(buf, nRead);
    }
    const bool bError = bTooLong || std::ferror(file) != 0;
    std::fclose(file);
    return !bError;
}

bool TunerSettings::ReadStateText(std::string_view text) {
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

    const auto fail = [this] {
        tunings.Clear();
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
    if (!in.ReadSigned(nTunings) || nTunings < 0) {
        return fail();
    }
    in.ConsumeLineEnd();

    for (int32_t i = 0; i < nTunings; ++i) {
        Tuning tuning;
        in.ReadName(tuning.name);
        if (!in.ReadUnsigned(tuning.tag)) {
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
        in.ConsumeLineEnd();
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
        out += tuning.name;
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

std::string TunerSettings::TempPathFor(const std::string& path) {
#ifdef TARVO_HAVE_UNISTD
    return path + kTempSuffix + std::to_string(::getpid());
#else
    return path + kTempSuffix + "0";
#endif
}

bool TunerSettings::WriteStateFile(const std::string& path) {
    return WriteSettingsFile(path, WriteStateText());
}

bool TunerSettings::WriteSettingsFile(const std::string& givenPath, std::string_view text) {
    // Saving replaces the file by renaming a new one over it. A state file that is a link is
    // kept a link: the file it names is the one replaced.
    std::error_code ec;
    std::string path = givenPath;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(path, ec); ++hops) {
        const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
        if (ec) {
            break;
        }
        path = (std::filesystem::path(path).parent_path() / target).string();
    }
    const std::string tempPath = TempPathFor(path);

    std::FILE* file = std::fopen(tempPath.c_str(), "w");
    if (file == nullptr) {
        return false;
    }
    bool bOk = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    bOk = std::fflush(file) == 0 && bOk;
#ifdef TARVO_HAVE_UNISTD
    bOk = bOk && ::fsync(::fileno(file)) == 0;
#endif
    bOk = std::fclose(file) == 0 && bOk;

    if (bOk) {
        // The new file keeps the old one's permissions (a private file stays private).
        const std::filesystem::file_status old = std::filesystem::status(path, ec);
        if (!ec && std::filesystem::is_regular_file(old)) {
            std::filesystem::permissions(tempPath, old.permissions(), ec);
        }
        std::filesystem::rename(tempPath, path, ec); // replaces the old file in one step
        bOk = !ec;
    }
    if (!bOk) {
        std::filesystem::remove(tempPath, ec);
    }
    return bOk;
}
