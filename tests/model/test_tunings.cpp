#include "model/Tunings.h"

#include <gtest/gtest.h>

namespace {

Tuning MakeTuning(const std::string& name, uint32_t tag, int32_t seed) {
    Tuning t;
    t.name = name;
    t.tag = tag;
    for (int32_t i = 0; i < kTuningStrings; ++i) {
        t.strings[static_cast<std::size_t>(i)] = StringPitch{(seed + i) % 12, (seed + i) % 3};
    }
    return t;
}

TEST(TuningList, WalkReturnsTuningsInAppendOrderAsCopies) {
    TuningList list;
    EXPECT_EQ(list.Count(), 0);
    Tuning a = MakeTuning("Standard", 1, 4);
    list.Append(a);
    list.Append(MakeTuning("Drop D", 2, 2));
    list.Append(MakeTuning("Standard", 1, 4)); // duplicates allowed
    a.name = "changed after Append";
    ASSERT_EQ(list.Count(), 3);

    Tuning t;
    ASSERT_TRUE(list.ReadAt(0, t));
    EXPECT_EQ(t, MakeTuning("Standard", 1, 4));
    ASSERT_TRUE(list.ReadNext(t));
    EXPECT_EQ(t, MakeTuning("Drop D", 2, 2));
    ASSERT_TRUE(list.ReadNext(t));
    EXPECT_EQ(t, MakeTuning("Standard", 1, 4));
    EXPECT_FALSE(list.ReadNext(t));
    EXPECT_FALSE(list.ReadNext(t));

    ASSERT_TRUE(list.ReadAt(1, t)); // the cursor moves to the one after
    ASSERT_TRUE(list.ReadNext(t));
    EXPECT_EQ(t.name, "Standard");
}

TEST(TuningList, ReadAtOutsideTheListStopsTheWalk) {
    TuningList list;
    Tuning t;
    EXPECT_FALSE(list.ReadAt(0, t));
    EXPECT_FALSE(list.ReadNext(t));
    list.Append(MakeTuning("a", 0, 0));
    list.Append(MakeTuning("b", 0, 1));
    for (int32_t index : {2, -1, INT32_MIN, INT32_MAX}) {
        ASSERT_TRUE(list.ReadAt(0, t));
        EXPECT_FALSE(list.ReadAt(index, t)) << index;
        EXPECT_FALSE(list.ReadNext(t)) << index;
    }
    // A walk that ended does not pick up later appends.
    list.Append(MakeTuning("c", 0, 2));
    EXPECT_FALSE(list.ReadNext(t));
}

TEST(TuningList, ClearEmptiesTheListAndEndsTheWalk) {
    TuningList list;
    list.Append(MakeTuning("a", 0, 0));
    list.Append(MakeTuning("b", 0, 1));
    Tuning t;
    ASSERT_TRUE(list.ReadAt(0, t));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.ReadNext(t));
    list.Append(MakeTuning("c", 0, 2));
    EXPECT_FALSE(list.ReadNext(t));
    ASSERT_TRUE(list.ReadAt(0, t));
    EXPECT_EQ(t.name, "c");
}

} // namespace
