#include "jvm/TriedHomes.h"

#include <gtest/gtest.h>

#include "jvm/JVMFile.h"
#include "tagfile/TagFile.h"

namespace {

// A home comes once per description file: the texts compare exactly and
// case-sensitively, the files by identity (two JVMFile objects over one tag
// file are two files); clear starts afresh.
TEST(TriedHomesTest, FirstTryOnlyForANewPairOfFileAndHome) {
    TagFile tagFile;
    JVMFile first(tagFile);
    JVMFile twin(tagFile);
    TriedHomes tried;
    struct {
        const JVMFile* file;
        const char* home;
        bool firstTry;
    } const cases[] = {
        {&first, "/opt/jdk", true},  {&first, "/opt/JDK", true},  {&first, "/opt/jdk", false},
        {&first, "/opt/jdk/", true}, {&first, "/opt/JDK", false}, {&twin, "/opt/jdk", true},
        {&twin, "/opt/jdk", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.home);
        EXPECT_EQ(tried.firstTry(*c.file, c.home), c.firstTry);
    }
    tried.clear();
    EXPECT_TRUE(tried.firstTry(first, "/opt/jdk"));
}

}  // namespace
