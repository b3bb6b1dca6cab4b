#include "jvm/JVMMatch.h"

#include <gtest/gtest.h>

#include <string>

#include "jvm/JVMSearchFixture.h"
#include "platform/PlatformImpl.h"
#include "tagfile/TagFile.h"

namespace {

using JVMMatchTest = JVMSearchFixture;

// The match file is the description file as held in memory plus the home,
// its own path and JVM_TEMP false; it is a temporary file on the cleanup list.
TEST_F(JVMMatchTest, WriteNewJVMFileWritesTheDescriptionWithTheHome) {
    TagFile& tagFile = makeJVMFile("Fake JVM", "A");
    tagFile.setTagValue("JVM_FILE", "/old/path");
    tagFile.appendTagValue("PATH_HINT", "opt/a");
    tagFile.appendTagValue("PATH_HINT", "opt/b");
    JVMMatch match("/opt/jdk", tagFile);

    SString path = match.writeNewJVMFile();

    EXPECT_EQ(std::string(path.c_str()).rfind(tempDir() + "/cvj", 0), 0u) << path.c_str();
    EXPECT_TRUE(onCleanupList(path));
    TagFile written(path);
    const char* expected[][2] = {
        {"DESC", "Fake JVM"},       {"JVM_EXE", "bin/java"},  {"JVM_PROPERTIES", "java.vendor=A"},
        {"JVM_FILE", path.c_str()}, {"JVM_HOME", "/opt/jdk"}, {"JVM_TEMP", "0"},
    };
    for (const auto& tag : expected) {
        SCOPED_TRACE(tag[0]);
        EXPECT_STREQ(written.getTagValue(tag[0], 0).c_str(), tag[1]);
    }
    EXPECT_EQ(written.getTagValueCount("PATH_HINT"), 2u);
    EXPECT_EQ(written.entries.count, 7);
    EXPECT_STREQ(tagFile.getTagValue("JVM_HOME", 0).c_str(), "/opt/jdk")
        << "the description file in memory changes too";
}

TEST_F(JVMMatchTest, EachMatchFileIsNew) {
    TagFile& tagFile = makeJVMFile("Fake JVM", "A");
    JVMMatch first("/opt/one", tagFile);
    JVMMatch second("/opt/two", tagFile);

    SString firstPath = first.writeNewJVMFile();
    SString secondPath = second.writeNewJVMFile();

    EXPECT_STRNE(firstPath.c_str(), secondPath.c_str());
    EXPECT_STREQ(TagFile(firstPath).getTagValue("JVM_HOME", 0).c_str(), "/opt/one");
    EXPECT_STREQ(TagFile(secondPath).getTagValue("JVM_HOME", 0).c_str(), "/opt/two");
}

}  // namespace
