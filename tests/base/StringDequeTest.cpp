#include "base/StringDeque.h"

#include <gtest/gtest.h>

TEST(StringDequeTest, StoresCopies) {
    StringDeque deque;
    SString s("first");
    deque.push_back(s);
    s = "changed";
    EXPECT_STREQ(deque.at(0).c_str(), "first");
    deque.at(0) += "!";
    EXPECT_STREQ(deque.at(0).c_str(), "first!");
    EXPECT_STREQ(s.c_str(), "changed");
}

TEST(StringDequeTest, InsertFollowsDequeIndexRules) {
    StringDeque deque;
    deque.insert(0, SString("refused"));
    EXPECT_EQ(deque.count, 0);
    deque.push_back(SString("b"));
    deque.insert(0, SString("a"));
    deque.push_back(SString("d"));
    deque.insert(2, SString("c"));
    deque.insert(4, SString("refused"));
    const char* expected[] = {"a", "b", "c", "d"};
    ASSERT_EQ(deque.count, 4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(deque.at(i).c_str(), expected[i]);
    }
    EXPECT_STREQ(deque.back().c_str(), "d");
}

TEST(StringDequeTest, InvalidIndexGivesEmptyString) {
    StringDeque deque;
    EXPECT_EQ(&deque.back(), &StringDeque::emptyString);
    deque.push_back(SString("x"));
    deque.push_back(SString("y"));
    EXPECT_EQ(&deque.at(5), &StringDeque::emptyString);
    EXPECT_TRUE(deque.at(5).empty());
    EXPECT_TRUE(deque.at(-1).empty());
    const StringDeque& constDeque = deque;
    EXPECT_TRUE(constDeque.at(2).empty());
    EXPECT_STREQ(constDeque.back().c_str(), "y");
}

TEST(StringDequeTest, EmptyStringWrittenByCallerIsEmptiedAgain) {
    StringDeque deque;
    deque.at(3) = "spoiled";
    EXPECT_TRUE(deque.at(3).empty());
    deque.back() += "x";
    const StringDeque& constDeque = deque;
    EXPECT_TRUE(constDeque.at(0).empty());
}

TEST(StringDequeTest, EraseAndClear) {
    StringDeque deque;
    for (const char* s : {"a", "b", "c"}) {
        deque.push_back(SString(s));
    }
    deque.erase(1);
    EXPECT_STREQ(deque.at(1).c_str(), "c");
    deque.clear();
    EXPECT_EQ(deque.count, 0);
    EXPECT_TRUE(deque.at(0).empty());
}
