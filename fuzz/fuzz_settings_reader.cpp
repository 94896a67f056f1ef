// Fuzzes the state.txt reader. Besides crashes and sanitizer reports it checks that
// - a rejected file changes nothing but the tuning list, which it empties;
// - an accepted file gives values the rest of the tuner can use;
// - what the writer then produces is accepted again and written back byte for byte.

#include "model/TunerSettings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool bOk, const char* what) {
    if (!bOk) {
        std::fprintf(stderr, "settings reader check failed: %s\n", what);
        std::abort();
    }
}

bool HoldsDefaults(const TunerSettings& s) {
    return s.GetConcertA() == kDefaultConcertA && s.GetKeyIndex() == 0 &&
           s.GetColors() == ColorScheme{} && s.GetMidiDevice() == 0 &&
           s.GetRecordingDevice() == 0 && s.GetAnalysisHop() == kDefaultAnalysisHop;
}

void CheckUsable(TunerSettings& s) {
    Check(IsValidConcertA(s.GetConcertA()), "concert A in 430..450");
    const ColorScheme c = s.GetColors();
    Check(c.needleColor <= kMaxColor && c.highEnergyColor <= kMaxColor &&
              c.lowEnergyColor <= kMaxColor && c.textColor <= kMaxColor,
          "colours are 24-bit");
    Check(IsValidKeyIndex(s.GetKeyIndex()), "key index 0..11");
    Check(s.GetMidiDevice() >= kNoDevice && s.GetRecordingDevice() >= kNoDevice,
          "device index >= -1");
    Check(s.GetAnalysisHop() >= 0.0f, "hop >= 0");
    Tuning t;
    int32_t n = 0;
    for (bool bMore = s.tunings.ReadAt(0, t); bMore; bMore = s.tunings.ReadNext(t), ++n) {
        Check(t.name.size() <= kMaxTuningNameLength, "name length");
        Check(t.name.find('\t') == std::string::npos, "no tab in a name");
        for (const StringPitch& p : t.strings) {
            Check(p.note >= 0 && p.note < kNoteCount && p.octave >= 0 && p.octave <= 2,
                  "string pitch in range");
        }
    }
    Check(n == s.tunings.Count(), "walk covers the list");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TunerSettings s;
    if (!s.ReadStateText(text)) {
        Check(HoldsDefaults(s), "a rejected file leaves the fields alone");
        Check(s.tunings.Count() == 0, "a rejected file leaves no tunings");
        return 0;
    }
    CheckUsable(s);
    const std::string once = s.WriteStateText();
    TunerSettings back;
    Check(back.ReadStateText(once), "written text is accepted");
    Check(back.WriteStateText() == once, "written text is stable");
    return 0;
}
