#include "base/PtrDeque.h"

#include <gtest/gtest.h>

namespace {

// Declared before its definition to show that the deque names work with an
// incomplete element type.
class Widget;
using WidgetPtrDeque = PtrDeque<Widget>;
using WidgetPtrDE = PtrDE<Widget>;

class Widget {
  public:
    Widget(int id, int& deletions) : id(id), deletions(deletions) {}
    ~Widget() { ++deletions; }

    int id;
    int& deletions;
};

}  // namespace

TEST(PtrDequeTest, AtAndBackGiveObjectsOrNull) {
    int deletions = 0;
    WidgetPtrDeque deque;
    EXPECT_EQ(deque.back(), nullptr);
    Widget* first = new Widget(1, deletions);
    deque.push_back(first);
    deque.push_back(new Widget(2, deletions));
    deque.insert(0, new Widget(0, deletions));

    EXPECT_EQ(deque.count, 3);
    EXPECT_EQ(deque.at(1), first);
    EXPECT_EQ(deque.at(0)->id, 0);
    EXPECT_EQ(deque.back()->id, 2);
    EXPECT_EQ(deque.at(3), nullptr);
    EXPECT_EQ(deque.at(-1), nullptr);
    const WidgetPtrDeque& constDeque = deque;
    EXPECT_EQ(constDeque.at(1), first);
    EXPECT_EQ(constDeque.back()->id, 2);
}

TEST(PtrDequeTest, DequeDeletesOwnedObjects) {
    int deletions = 0;
    {
        WidgetPtrDeque deque;
        for (int i = 0; i < 4; ++i) {
            deque.push_back(new Widget(i, deletions));
        }
        deque.erase(0);
        EXPECT_EQ(deletions, 1);
        deque.insert(3, new Widget(9, deletions));  // index count: refused and deleted
        EXPECT_EQ(deletions, 2);
        EXPECT_EQ(deque.count, 3);
    }
    EXPECT_EQ(deletions, 5);
}

TEST(PtrDequeTest, ObjectInsertedAsNotOwnedSurvivesTheDeque) {
    int deletions = 0;
    Widget kept(1, deletions);
    {
        WidgetPtrDeque deque;
        deque.push_back(&kept, false);
        deque.insert(0, new Widget(2, deletions), true);
        deque.insert(0, &kept, false);
        EXPECT_EQ(deque.at(0), &kept);
        deque.erase(0);
        deque.clear();
    }
    EXPECT_EQ(deletions, 1);
}

TEST(PtrDequeTest, WrapperDeletesOnlyWhenOwned) {
    int deletions = 0;
    Widget kept(1, deletions);
    delete new WidgetPtrDE(&kept, false);
    delete new WidgetPtrDE(nullptr);
    EXPECT_EQ(deletions, 0);
    delete new WidgetPtrDE(new Widget(2, deletions));
    EXPECT_EQ(deletions, 1);
}
