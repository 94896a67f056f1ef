// The pitch-class arbiter's quarter rule: a class stays only while a quarter of the frame's
// amplitude belongs to it alone; the class with the least of its own goes first.

#include "analysis/PitchClassArbiter.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

struct Class {
    int c;
    std::vector<float> members;
};

std::array<PitchResult, 12> Arbitrate(std::vector<float> f, std::vector<float> amp,
                                      const std::vector<Class>& classes) {
    PitchClassArbiter arb;
    EXPECT_TRUE(arb.Setup(12, 20));
    f.resize(20, 0.0f);
    amp.resize(20, 0.0f);
    arb.LoadPeaks(f.data(), amp.data(), 20);
    for (const Class& k : classes) {
        arb.ResetClass(k.c);
        arb.SetClassOctave(k.c, 3);
        arb.SetClassFrequency(k.c, k.members.front());
        for (float m : k.members)
            arb.AssignPeak(k.c, m);
    }
    arb.ComputeShares();
    while (arb.RemoveWeakest()) {
    }
    std::array<PitchResult, 12> out{};
    arb.CopyClasses(out.data());
    return out;
}

TEST(Arbiter, AClassStaysWithAQuarterOfTheFrameToItself) {
    const struct {
        std::vector<float> f, amp;
        std::vector<Class> classes;
        std::vector<std::pair<int, float>> levels; // class, energy left
    } cases[] = {
        {{100, 200, 300, 1000}, {1, 1, 0, 8}, {{4, {100, 200}}}, {{4, 0.0f}}}, // 20 %
        {{100, 200, 1000}, {1, 1, 6}, {{4, {100, 200}}}, {{4, 2.0f}}},         // 25 %
        // Sharing every peak: the first of equals goes, the other keeps them all.
        {{100, 200, 300},
         {1, 1, 1},
         {{2, {100, 200, 300}}, {7, {100, 200, 300}}},
         {{2, 0}, {7, 3}}},
        // Shares 0.5, 0.4 and 0.1: only the last goes, though the strongest shares nothing.
        {{100, 200, 300, 400},
         {1, 2, 3, 4},
         {{1, {100}}, {5, {400}}, {9, {200, 300}}},
         {{1, 0}, {5, 4}, {9, 5}}},
        // A class of 0.1 or less neither counts nor takes a peak from another.
        {{100, 200}, {0.05f, 0.2f}, {{3, {100}}, {6, {100, 200}}}, {{6, 0.25f}}},
        // Peaks farther than 0.1 Hz, and the empty entries, belong to no class.
        {{0, 200}, {0, 1}, {{5, {0, 200.05f, 200.2f}}}, {{5, 1.0f}}},
    };
    for (const auto& k : cases) {
        const auto out = Arbitrate(k.f, k.amp, k.classes);
        for (const auto& [c, level] : k.levels) {
            EXPECT_FLOAT_EQ(out[c].level, level) << k.f.size() << " class " << c;
            EXPECT_EQ(out[c].note, c);
        }
    }
    const auto out = Arbitrate({100, 200, 1000}, {1, 1, 6}, {{4, {100, 200}}});
    EXPECT_EQ(out[4].octave, 3);
    EXPECT_EQ(out[4].frequency, 100.0f);
}

} // namespace
