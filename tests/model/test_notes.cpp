#include "model/Notes.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <set>
#include <string>

namespace {

constexpr int32_t kC = 0, kD = 2, kEb = 3, kE = 4, kA = 9, kBb = 10, kB = 11;

TEST(Notes, KeyNamesInSelectorOrder) {
    const char* expected[] = {"C", "C#", "D", "Eb", "E", "F", "F#", "G", "G#", "A", "Bb", "B"};
    ASSERT_EQ(kKeyNames.size(), 12u);
    for (std::size_t i = 0; i < kKeyNames.size(); ++i) {
        EXPECT_STREQ(kKeyNames[i], expected[i]) << i;
    }
}

TEST(Transpose, KeyCLeavesEveryNoteUnchanged) {
    for (int32_t octave = 0; octave <= 8; ++octave) {
        for (int32_t note = 0; note < 12; ++note) {
            EXPECT_EQ(Transpose(note, octave, 0), (ShownNote{note, octave}));
        }
    }
}

TEST(Transpose, ExamplesForKeysA_Bb_Eb) {
    EXPECT_EQ(Transpose(kA, 4, kA), (ShownNote{kC, 4}));
    EXPECT_EQ(Transpose(kB, 4, kA), (ShownNote{kD, 4}));
    EXPECT_EQ(Transpose(kC, 4, kA), (ShownNote{kEb, 3}));
    EXPECT_EQ(Transpose(kBb, 3, kBb), (ShownNote{kC, 3}));
    EXPECT_EQ(Transpose(kC, 4, kBb), (ShownNote{kD, 3}));
    EXPECT_EQ(Transpose(kEb, 2, kEb), (ShownNote{kC, 2}));
    EXPECT_EQ(Transpose(kD, 2, kEb), (ShownNote{kB, 1}));
    EXPECT_EQ(Transpose(kE, 5, kEb), (ShownNote{1, 5}));
}

// Shown pitch = concert pitch lowered by the key: a rotation of the twelve names, and the
// absolute half-step number drops by exactly keyIndex.
TEST(Transpose, IsARotationThatLowersByTheKey) {
    for (int32_t key = 0; key < 12; ++key) {
        std::set<int32_t> shownNotes;
        for (int32_t note = 0; note < 12; ++note) {
            const ShownNote shown = Transpose(note, 4, key);
            ASSERT_GE(shown.note, 0);
            ASSERT_LT(shown.note, 12);
            shownNotes.insert(shown.note);
            EXPECT_EQ(shown.octave * 12 + shown.note, 4 * 12 + note - key) << key << " " << note;
        }
        EXPECT_EQ(shownNotes.size(), 12u) << "key " << key;
    }
}

TEST(Transpose, KeyOutsideTheSelectorTransposesNothing) {
    for (int32_t key : {-1, 12, 13, 24, 100, INT32_MIN, INT32_MAX}) {
        for (int32_t note = 0; note < 12; ++note) {
            EXPECT_EQ(Transpose(note, 4, key), (ShownNote{note, 4})) << key;
        }
    }
}

TEST(ConcertA, Limits) {
    EXPECT_TRUE(IsValidConcertA(430.0f));
    EXPECT_TRUE(IsValidConcertA(440.0f));
    EXPECT_TRUE(IsValidConcertA(450.0f));
    EXPECT_FALSE(IsValidConcertA(429.9f));
    EXPECT_FALSE(IsValidConcertA(450.1f));
    EXPECT_FALSE(IsValidConcertA(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(kDefaultConcertA, 440.0f);
}

TEST(ConcertA, ButtonTextHasOneDecimalAndTheUnit) {
    EXPECT_EQ(ConcertAButtonText(440.0f), "440.0 Hz");
    EXPECT_EQ(ConcertAButtonText(432.5f), "432.5 Hz");
    EXPECT_EQ(ConcertAButtonText(432.26f), "432.3 Hz");
    EXPECT_EQ(ConcertAButtonText(430.0f), "430.0 Hz");
    EXPECT_EQ(ConcertAButtonText(450.0f), "450.0 Hz");
    EXPECT_EQ(ConcertAButtonText(440.5f), "440.5 Hz");
    // Same rounding as "%.1f" for every tenth and every hundredth in range.
    for (int hundredths = 43000; hundredths <= 45000; ++hundredths) {
        const float hz = static_cast<float>(hundredths) / 100.0f;
        char expected[32];
        std::snprintf(expected, sizeof expected, "%.1f%s", static_cast<double>(hz), " Hz");
        ASSERT_EQ(ConcertAButtonText(hz), expected) << hundredths;
    }
}

TEST(ConcertA, ButtonTextKeepsThePointUnderADecimalCommaLocale) {
    const testfiles::GermanLocale german;
    if (!german.Active()) {
        GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
    }
    EXPECT_EQ(ConcertAButtonText(440.0f), "440.0 Hz");
    EXPECT_EQ(ConcertAButtonText(432.5f), "432.5 Hz");
}

} // namespace
