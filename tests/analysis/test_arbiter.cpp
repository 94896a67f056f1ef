// The pitch-class arbiter's quarter rule.

#include "analysis/PitchClassArbiter.h"

#include <gtest/gtest.h>

#include <array>

namespace {

class Arbiter : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(arb.Setup(12, 20));
        arb.ResetAll();
    }
    void Load(const std::array<float, 20>& f, const std::array<float, 20>& amp) {
        arb.LoadPeaks(f.data(), amp.data(), 20);
    }
    void Class(int c, std::initializer_list<float> members) {
        arb.ResetClass(c);
        arb.SetClassOctave(c, 3);
        arb.SetClassFrequency(c, *members.begin());
        for (float f : members) {
            arb.AssignPeak(c, f);
        }
    }
    void Arbitrate() {
        arb.ComputeShares();
        while (arb.RemoveWeakest()) {
        }
        arb.CopyClasses(out.data());
    }
    PitchClassArbiter arb;
    std::array<PitchResult, 12> out{};
};

TEST_F(Arbiter, AWeakClassIsRemovedEvenWithoutARival) {
    // Member peaks carry 20 % of the total: removed.
    Load({100, 200, 300, 1000, 1300}, {1, 1, 0, 8, 0});
    Class(4, {100, 200});
    Arbitrate();
    EXPECT_EQ(out[4].level, 0.0f);
    EXPECT_EQ(arb.ActiveCount(), 0);
}

TEST_F(Arbiter, AClassExplainingAQuarterSurvives) {
    Load({100, 200, 1000}, {1, 1, 6});
    Class(4, {100, 200});
    Arbitrate();
    EXPECT_FLOAT_EQ(out[4].level, 2.0f);
    EXPECT_EQ(out[4].note, 4);
    EXPECT_EQ(out[4].octave, 3);
    EXPECT_FLOAT_EQ(out[4].frequency, 100.0f);
}

TEST_F(Arbiter, OfTwoClassesSharingEveryPeakOneSurvives) {
    Load({100, 200, 300}, {1, 1, 1});
    Class(2, {100, 200, 300});
    Class(7, {100, 200, 300});
    ASSERT_TRUE(arb.ComputeShares());
    EXPECT_EQ(arb.ActiveCount(), 2);
    EXPECT_EQ(arb.UniqueShare(0), 0.0f);
    EXPECT_EQ(arb.UniqueShare(1), 0.0f);
    ASSERT_TRUE(arb.RemoveWeakest());
    EXPECT_EQ(arb.ActiveCount(), 1);
    EXPECT_FLOAT_EQ(arb.UniqueShare(0), 1.0f);
    EXPECT_FALSE(arb.RemoveWeakest());
    arb.CopyClasses(out.data());
    EXPECT_EQ((out[2].level > 0) + (out[7].level > 0), 1);
}

TEST_F(Arbiter, ClassesAreOrderedByEnergy) {
    Load({100, 200, 300, 400}, {1, 2, 3, 4});
    Class(1, {100});
    Class(5, {400});
    Class(9, {200, 300});
    ASSERT_TRUE(arb.ComputeShares());
    EXPECT_EQ(arb.Order(0), 9);
    EXPECT_EQ(arb.Order(1), 5);
    EXPECT_EQ(arb.Order(2), 1);
    EXPECT_FLOAT_EQ(arb.UniqueShare(0), 0.5f);
    EXPECT_FLOAT_EQ(arb.UniqueShare(2), 0.1f);
}

TEST_F(Arbiter, ATinyClassNeitherCountsNorSharesPeaks) {
    // Class 3 holds only a 0.05 peak (energy 0.05 <= 0.1); class 6 shares that peak and keeps it
    // as its own.
    Load({100, 200}, {0.05f, 0.2f});
    Class(3, {100});
    Class(6, {100, 200});
    ASSERT_TRUE(arb.ComputeShares());
    EXPECT_EQ(arb.ActiveCount(), 1);
    EXPECT_EQ(arb.Order(0), 6);
    EXPECT_FLOAT_EQ(arb.UniqueShare(0), 1.0f);
}

TEST_F(Arbiter, AssignPeakIgnoresEmptySlotsAndFarFrequencies) {
    Load({0, 200}, {0, 1});
    Class(5, {200});
    EXPECT_FALSE(arb.AssignPeak(5, 0.0f));
    EXPECT_FALSE(arb.AssignPeak(5, 200.2f));
    EXPECT_TRUE(arb.AssignPeak(5, 200.05f));
    EXPECT_FLOAT_EQ(arb.ClassEnergy(5), 2.0f);
    EXPECT_FALSE(arb.IsMember(5, 0));
    EXPECT_TRUE(arb.IsMember(5, 1));
}

TEST_F(Arbiter, NothingActiveMeansNoShares) {
    Load({100}, {1});
    EXPECT_FALSE(arb.ComputeShares());
    EXPECT_FALSE(arb.RemoveWeakest());
}

} // namespace
