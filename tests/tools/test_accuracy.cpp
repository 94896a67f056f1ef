// Accuracy through tarvo-analyse: synthetic harmonic tones from E1 to E6, detuned by known
// amounts, must be named right in every settled frame and measured to a fraction of a cent;
// also when a 44100 Hz file is resampled, or analysed at its own rate.

#include "CliRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

struct Tone {
    const char* name; // key name
    int octave;
    int fromA4;    // half-steps from A4
    double detune; // cents
    int rate = 11025;
    bool native = false; // --native-rate
};

std::ostream& operator<<(std::ostream& os, const Tone& t) {
    return os << t.name << t.octave << (t.detune >= 0 ? "+" : "") << t.detune;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : 0.5 * (v[m - 1] + v[m]);
}

class Accuracy : public ::testing::TestWithParam<Tone> {};

TEST_P(Accuracy, SettledFramesNameTheNoteAndMeasureItsPitch) {
    const Tone t = GetParam();
    const double truth = 440.0 * std::pow(2.0, (t.fromA4 + t.detune / 100.0) / 12.0);
    const std::string path =
        ScratchPath(std::string("accuracy-") + t.name + std::to_string(t.octave) + "-" +
                    std::to_string(t.rate) + (t.native ? "n" : "") + ".wav");
    WriteSound(path, t.rate, 1, HarmonicTone(truth, t.rate, 1.5));

    const CliRun run = t.native ? RunAnalyse({"--native-rate", path}) : RunAnalyse({path});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto rows = ParseCsv(run.out);
    std::vector<double> settled;
    for (const auto& r : rows) {
        if (r.hold == 0) {
            EXPECT_EQ(r.note, t.name) << "at " << r.time;
            EXPECT_EQ(r.octave, t.octave) << "at " << r.time;
            settled.push_back(r.frequency);
        }
    }
    // 1.5 s at hop 128 (11025 Hz) is 121 frames; all but the first few settle.
    ASSERT_GE(settled.size(), 100u);
    const double error = 1200.0 * std::log2(Median(settled) / truth);
    const double tolerance = truth >= 55.0 ? 0.2 : 1.0;
    EXPECT_LE(std::fabs(error), tolerance)
        << "median " << Median(settled) << " Hz, truth " << truth << " Hz";
}

INSTANTIATE_TEST_SUITE_P(
    E1ToE6, Accuracy,
    ::testing::Values(Tone{"E", 1, -41, -23.0}, Tone{"F", 1, -40, 12.0}, Tone{"A", 1, -36, -37.0},
                      Tone{"C", 2, -33, 31.0}, Tone{"E", 2, -29, 4.0}, Tone{"A", 2, -24, -8.0},
                      Tone{"D", 3, -19, 17.0}, Tone{"G", 3, -14, -44.0}, Tone{"B", 3, -10, 26.0},
                      Tone{"E", 4, -5, -3.0}, Tone{"A", 4, 0, 41.0}, Tone{"C#", 5, 4, -19.0},
                      Tone{"E", 5, 7, 9.0}, Tone{"Bb", 5, 13, -29.0}, Tone{"E", 6, 19, 14.0},
                      Tone{"G", 3, -14, 13.0, 44100}, Tone{"G", 3, -14, 13.0, 44100, true}),
    [](const ::testing::TestParamInfo<Tone>& info) {
        std::string s = std::string(info.param.name) + std::to_string(info.param.octave);
        if (info.param.rate != 11025)
            s += "at" + std::to_string(info.param.rate) + (info.param.native ? "Native" : "");
        std::replace(s.begin(), s.end(), '#', 's');
        return s;
    });

} // namespace
