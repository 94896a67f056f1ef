#include "model/Notes.h"
#include "model/Tunings.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Shown pitch = concert pitch lowered by the key; a key the selector cannot show changes nothing.
TEST(Transpose, LowersTheNoteByTheKey) {
    for (int32_t key = 0; key < 12; ++key) {
        for (int32_t note = 0; note < 12; ++note) {
            const ShownNote s = Transpose(note, 4, key);
            EXPECT_TRUE(s.note >= 0 && s.note < 12) << key << " " << note;
            EXPECT_EQ(s.octave * 12 + s.note, 48 + note - key) << key << " " << note;
        }
    }
    for (int32_t key : {-1, 12, INT32_MIN, INT32_MAX})
        EXPECT_EQ(Transpose(10, 4, key), (ShownNote{10, 4})) << key;
}

TEST(ConcertA, RangeAndButtonText) {
    EXPECT_TRUE(IsValidConcertA(430.0f));
    EXPECT_TRUE(IsValidConcertA(450.0f));
    EXPECT_FALSE(IsValidConcertA(429.9f));
    EXPECT_FALSE(IsValidConcertA(450.1f));
    EXPECT_FALSE(IsValidConcertA(std::nanf("")));
    EXPECT_EQ(ConcertAButtonText(432.26f), "432.3 Hz");
    const testfiles::GermanLocale german; // a decimal comma locale changes nothing
    EXPECT_EQ(ConcertAButtonText(440.0f), "440.0 Hz");
}

TEST(TuningList, WalksInOrderAndAnEndedWalkStaysEnded) {
    TuningList list;
    for (const char* name : {"a", "b", "c"})
        list.Append(Tuning{.name = name});
    Tuning t;
    ASSERT_TRUE(list.ReadAt(0, t));
    ASSERT_TRUE(list.ReadNext(t));
    ASSERT_TRUE(list.ReadNext(t));
    EXPECT_EQ(t.name, "c");
    list.Append(Tuning{.name = "d"}); // a walk that reached the end stays ended
    EXPECT_FALSE(list.ReadNext(t));
    EXPECT_FALSE(list.ReadAt(-1, t));
    EXPECT_FALSE(list.ReadNext(t));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.ReadAt(0, t));
}

} // namespace
