#include "jvm/UnverifiedJVMMatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jvm/JVMFile.h"
#include "tagfile/TagFile.h"

namespace {

std::vector<std::string> homesOf(const UnverifiedJVMMatch& entry) {
    std::vector<std::string> homes;
    for (long i = 0; i < entry.m_sdqJVMHomes.count; i++) {
        homes.push_back(entry.m_sdqJVMHomes.at(i).c_str());
    }
    return homes;
}

// Two JVMFile objects over one tag file are still two description files.
TEST(UnverifiedJVMMatchTest, EqualsComparesObjectsNotContents) {
    TagFile tagFile;
    JVMFile jvmFile(tagFile);
    JVMFile twin(tagFile);
    UnverifiedJVMMatch entry(jvmFile);
    EXPECT_TRUE(entry.equals(jvmFile));
    EXPECT_FALSE(entry.equals(twin));
}

TEST(UnverifiedJVMMatchTest, AddMatchExtendsTheEntryOfThatFileOnly) {
    TagFile tagFile;
    JVMFile first(tagFile);
    JVMFile second(tagFile);
    JVMFile absent(tagFile);
    UnverifiedJVMMatchPtrDeque deque;
    deque.push_back(new UnverifiedJVMMatch(first));
    deque.push_back(new UnverifiedJVMMatch(second));

    EXPECT_TRUE(deque.addMatch(second, "/b"));
    EXPECT_TRUE(deque.addMatch(second, "/b"));
    EXPECT_TRUE(deque.addMatch(first, "/a"));
    EXPECT_FALSE(deque.addMatch(absent, "/c"));

    ASSERT_EQ(deque.count, 2);
    EXPECT_EQ(homesOf(*deque.at(0)), (std::vector<std::string>{"/a"}));
    EXPECT_EQ(homesOf(*deque.at(1)), (std::vector<std::string>{"/b", "/b"}))
        << "the walk drops repeated homes before it adds them";
}

}  // namespace
