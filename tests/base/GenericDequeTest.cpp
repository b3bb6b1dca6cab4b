#include "base/GenericDeque.h"

#include <gtest/gtest.h>

namespace {

// An entry that records its own deletion.
class CountingEntry : public DequeEntry {
  public:
    CountingEntry(int id, int& deletions) : id(id), deletions(deletions) {}
    ~CountingEntry() override { ++deletions; }

    int id;
    int& deletions;
};

int idAt(const GenericDeque& deque, long index) {
    const DequeEntry* entry = deque.at(index);
    return entry != nullptr ? static_cast<const CountingEntry*>(entry)->id : -1;
}

class GenericDequeTest : public ::testing::Test {
  protected:
    void append(int id) { deque.insert(-1, new CountingEntry(id, deletions)); }
    void fill(int n) {
        for (int i = 0; i < n; ++i) {
            append(i);
        }
    }
    // True when every slot from count to capacity is null.
    bool tailIsNull() const {
        for (int i = deque.count; i < deque.capacity; ++i) {
            if (deque.items[i] != nullptr) {
                return false;
            }
        }
        return true;
    }

    int deletions = 0;
    GenericDeque deque;
};

}  // namespace

TEST_F(GenericDequeTest, StartsEmptyWithoutSlots) {
    EXPECT_EQ(deque.count, 0);
    EXPECT_EQ(deque.capacity, 0);
    EXPECT_EQ(deque.growBy, 30);
    EXPECT_EQ(deque.items, nullptr);
    EXPECT_EQ(deque.at(0), nullptr);
    EXPECT_FALSE(deque.validIndex(0));
}

TEST_F(GenericDequeTest, GrowsFrom30To60SlotsAtThe31stElement) {
    append(0);
    EXPECT_EQ(deque.capacity, 30);
    fill(29);
    EXPECT_EQ(deque.count, 30);
    EXPECT_EQ(deque.capacity, 30);
    append(30);
    EXPECT_EQ(deque.count, 31);
    EXPECT_EQ(deque.capacity, 60);
    EXPECT_EQ(idAt(deque, 0), 0);
    EXPECT_EQ(idAt(deque, 30), 30);
    EXPECT_TRUE(tailIsNull());
}

TEST_F(GenericDequeTest, InsertAtCountInsertsNothingAndDeletesTheEntry) {
    deque.insert(0, new CountingEntry(7, deletions));
    EXPECT_EQ(deque.count, 0);
    EXPECT_EQ(deletions, 1);

    fill(2);
    deque.insert(2, new CountingEntry(8, deletions));
    EXPECT_EQ(deque.count, 2);
    EXPECT_EQ(deletions, 2);
}

TEST_F(GenericDequeTest, InsertPutsEntryBeforeTheIndex) {
    fill(3);  // 0 1 2
    deque.insert(0, new CountingEntry(10, deletions));
    deque.insert(2, new CountingEntry(11, deletions));
    const int expected[] = {10, 0, 11, 1, 2};
    ASSERT_EQ(deque.count, 5);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(idAt(deque, i), expected[i]);
    }
    EXPECT_EQ(deletions, 0);
}

TEST_F(GenericDequeTest, EraseDeletesAndCloses) {
    fill(4);  // 0 1 2 3
    deque.erase(1);
    EXPECT_EQ(deletions, 1);
    ASSERT_EQ(deque.count, 3);
    EXPECT_EQ(idAt(deque, 0), 0);
    EXPECT_EQ(idAt(deque, 1), 2);
    EXPECT_EQ(idAt(deque, 2), 3);
    EXPECT_EQ(deque.at(3), nullptr);
    EXPECT_TRUE(tailIsNull());

    deque.erase(3);
    deque.erase(-1);
    EXPECT_EQ(deque.count, 3);
    EXPECT_EQ(deletions, 1);
}

TEST_F(GenericDequeTest, ClearDeletesAllAndKeepsSlots) {
    fill(5);
    DequeEntry** slots = deque.items;
    deque.clear();
    EXPECT_EQ(deletions, 5);
    EXPECT_EQ(deque.count, 0);
    EXPECT_EQ(deque.capacity, 30);
    EXPECT_EQ(deque.items, slots);
    EXPECT_TRUE(tailIsNull());
    append(9);
    EXPECT_EQ(idAt(deque, 0), 9);
}

TEST_F(GenericDequeTest, ResizeGrowsToMultipleOfGrowBy) {
    fill(3);
    deque.resize(61);
    EXPECT_EQ(deque.capacity, 90);
    EXPECT_EQ(deque.count, 3);
    EXPECT_EQ(idAt(deque, 2), 2);
    EXPECT_TRUE(tailIsNull());
    deque.resize(90);
    EXPECT_EQ(deque.capacity, 90);
}

TEST_F(GenericDequeTest, ResizeShrinkDeletesTailAndKeepsSlots) {
    fill(5);
    deque.resize(2);
    EXPECT_EQ(deque.count, 2);
    EXPECT_EQ(deque.capacity, 30);
    EXPECT_EQ(deletions, 3);
    EXPECT_TRUE(tailIsNull());
    deque.resize(10);  // shrinking below capacity but above count deletes nothing
    EXPECT_EQ(deque.count, 2);
    EXPECT_EQ(deletions, 3);
}

TEST(GenericDequeOwnershipTest, DestructorDeletesEntries) {
    int deletions = 0;
    {
        GenericDeque deque;
        for (int i = 0; i < 40; ++i) {
            deque.insert(-1, new CountingEntry(i, deletions));
        }
    }
    EXPECT_EQ(deletions, 40);
}
