#include "tagfile/TagFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "support/LauncherStateGuard.h"
#include "support/TestSupport.h"

namespace {

using Tags = std::vector<std::pair<std::string, std::vector<std::string>>>;
using testsupport::str;

// Every tag of the file, in entry order, with its values.
Tags contents(const TagFile& tagFile) {
    Tags tags;
    for (long i = 0; i < tagFile.entries.count; ++i) {
        const TagFileEntry* entry = tagFile.entries.at(i);
        std::vector<std::string> values;
        for (long v = 0; v < entry->values->count; ++v) {
            values.push_back(str(entry->values->at(v)));
        }
        tags.emplace_back(str(entry->name), values);
    }
    return tags;
}

// A read-only in-memory stream over the given bytes.
class MemoryStream {
  public:
    explicit MemoryStream(const std::string& text) : bytes(text) {
        stream = fmemopen(bytes.empty() ? nullptr : &bytes[0], bytes.size(), "r");
    }
    ~MemoryStream() { fclose(stream); }
    FILE* get() const { return stream; }

  private:
    std::string bytes;
    FILE* stream;
};

void loadText(TagFile& tagFile, const std::string& text, long offset = 0, long length = -1) {
    MemoryStream stream(text);
    tagFile.load(stream.get(), "f.tag", offset, length);
}

// The message of the LauncherException that loading text throws.
std::string loadError(const std::string& text) {
    TagFile tagFile;
    try {
        loadText(tagFile, text);
    } catch (const LauncherException& e) {
        return str(e.message);
    }
    return "(no error)";
}

// Points the log at a file of a fresh directory for the lifetime of the object.
class LogCapture {
  public:
    LogCapture() { Launcher::setLogFileName(dir.file("log.txt").c_str()); }
    std::string text() const { return testsupport::readFile(dir.file("log.txt")); }

  private:
    testsupport::LauncherStateGuard state;
    testsupport::TempDir dir;
};

}  // namespace

TEST(TagFileTest, ReadsTagsAsWritten) {
    const struct {
        const char* text;
        Tags tags;
    } cases[] = {
        {"NAME:value", {{"NAME", {"value"}}}},
        {"NAME :  value  ", {{"NAME", {"value"}}}},
        {"NAME:\tvalue", {{"NAME", {"value"}}}},
        {"A: say \"hi\"  now", {{"A", {"say \"hi\"  now"}}}},
        {"A: b: c", {{"A", {"b: c"}}}},
        {": v", {{"", {"v"}}}},
        {"NAME: \"\"", {{"NAME", {""}}}},
        {"NAME: \"a\"\"b\"rest", {{"NAME", {"a\"b"}}}},
        {"NAME: \"  padded  \"", {{"NAME", {"  padded  "}}}},
        {"A: 1\nB: x\nA: 2", {{"B", {"x"}}, {"A", {"2"}}}},
        {"\n  \n\t\nA: 1\n\n", {{"A", {"1"}}}},
        {"A: 1\r\nB: 2\r\n", {{"A", {"1"}}, {"B", {"2"}}}},
        {"A: a\rb", {{"A", {"ab"}}}},
        {"A: 1\nB:x", {{"A", {"1"}}, {"B", {"x"}}}},
        {"JVM_EXE: bin/java\nITEMS:\n  -verbose\n  \"  two words  \"\n/:\nNOTE:  plain text\n",
         {{"JVM_EXE", {"bin/java"}},
          {"ITEMS", {"-verbose", "  two words  "}},
          {"NOTE", {"plain text"}}}},
        {"A:\n\n  x\n\"\"\n  y  \n/:", {{"A", {"x", "y"}}}},
        {"A:\nB: c\n/:", {{"A", {"B: c"}}}},
        {"A:\n\"/:\"\nB: 1", {{"B", {"1"}}}},
        {"A:\nx\n\"q\"tail\n/:", {{"A", {"x", "q"}}}},
        {"A:   \n x\n/:", {{"A", {"x"}}}},
        {"NAME:\n/:", {}},
        {"NAME: x\nOTHER: y\nNAME:\n/:", {{"OTHER", {"y"}}}},
        {"A:\r\n 1\r\n 2\r\n/:", {{"A", {"1", "2"}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TagFile tagFile;
        loadText(tagFile, c.text);
        EXPECT_EQ(contents(tagFile), c.tags);
        EXPECT_TRUE(tagFile.isLoaded());
    }
}

TEST(TagFileTest, SyntaxErrorsNameFileAndLine) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"A: 1\njust text\nB: 2",
         "Syntax error in f.tag at line 2 ==> Missing colon at the end of the tag name."},
        {"\n\nNAME:\n  x\n", "Syntax error in f.tag at line 3 ==> Missing /: tag completer."},
        {"NAME:", "Syntax error in f.tag at line 1 ==> Missing /: tag completer."},
        {"A:\n x\n/", "Syntax error in f.tag at line 1 ==> Missing /: tag completer."},
        {"NAME: \"open", "Expected double quote to end argument near 7"},
        {"A:\n\"x", "Expected double quote to end argument near 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(loadError(c.text), c.message);
    }
}

TEST(TagFileTest, SyntaxErrorStopsLoadAndKeepsEarlierTags) {
    TagFile tagFile;
    EXPECT_THROW(loadText(tagFile, "A: 1\njust text\nB: 2"), LauncherException);
    EXPECT_EQ(contents(tagFile), (Tags{{"A", {"1"}}}));
    EXPECT_FALSE(tagFile.isLoaded());
}

TEST(TagFileTest, SyntaxErrorIsLoggedButQuoteErrorIsNot) {
    LogCapture log;
    loadError("A: 1\nB: \"open");
    EXPECT_EQ(log.text(), "");
    loadError("A: 1\njust text");
    EXPECT_NE(log.text().find("ERROR: Syntax error in f.tag at line 2 ==> Missing colon at the end "
                              "of the tag name.\n"),
              std::string::npos)
        << log.text();
}

TEST(TagFileTest, LoadAddsToExistingTags) {
    TagFile tagFile;
    tagFile.setTagValue("KEEP", "k");
    tagFile.setTagValue("A", "old");
    loadText(tagFile, "A: new\nB: b");
    EXPECT_EQ(contents(tagFile), (Tags{{"KEEP", {"k"}}, {"A", {"new"}}, {"B", {"b"}}}));
}

TEST(TagFileTest, LoadsByteRangeInsideLargerFile) {
    const std::string before = "binary\x01\x02 junk without colon\n";
    const std::string tags = "A: 1\r\nLIST:\n x\n y\n/:\nB: \"two\"";
    const std::string after = "\nafter range: ignored\nno colon here\n";
    TagFile tagFile;
    loadText(tagFile, before + tags + after, before.size(), tags.size());
    EXPECT_EQ(contents(tagFile), (Tags{{"A", {"1"}}, {"LIST", {"x", "y"}}, {"B", {"two"}}}));
    EXPECT_TRUE(tagFile.isLoaded());
}

TEST(TagFileTest, ByteRangeCountsLinesFromItsStart) {
    const std::string before = "X: 0\nY: 0\n";
    const std::string tags = "A: 1\noops\n";
    EXPECT_EQ(
        [&] {
            TagFile tagFile;
            try {
                loadText(tagFile, before + tags, before.size(), tags.size());
            } catch (const LauncherException& e) {
                return str(e.message);
            }
            return std::string();
        }(),
        "Syntax error in f.tag at line 2 ==> Missing colon at the end of the tag name.");
}

TEST(TagFileTest, RangeEndsLinesAndBlocks) {
    const std::string rest = " x\n/:\nB: beyond\n";
    TagFile tagFile;
    loadText(tagFile, "A: last" + rest, 0, 7);
    EXPECT_EQ(contents(tagFile), (Tags{{"A", {"last"}}})) << "the line ends with the range";
    TagFile block;
    try {
        loadText(block, "A:\n" + rest, 0, 3);
        ADD_FAILURE() << "the block was completed beyond the range";
    } catch (const LauncherException& e) {
        EXPECT_NE(str(e.message).find("Missing /: tag completer."), std::string::npos);
    }
}

TEST(TagFileTest, ZeroLengthRangeReadsNothing) {
    TagFile tagFile;
    loadText(tagFile, "A: 1\n", 0, 0);
    EXPECT_TRUE(contents(tagFile).empty());
    EXPECT_TRUE(tagFile.isLoaded());
}

TEST(TagFileTest, FailedSeekIsReported) {
    TagFile tagFile;
    try {
        loadText(tagFile, "A: 1\n", -5, -1);
        FAIL() << "no error";
    } catch (const LauncherException& e) {
        EXPECT_EQ(str(e.message), "Unable to read tag file.");
    }
    EXPECT_FALSE(tagFile.isLoaded());
}

TEST(TagFileTest, LoadsWholeFileByPath) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("in.tag"), "A: 1\nB:\n x\n/:\n");
    TagFile tagFile(dir.file("in.tag").c_str());
    EXPECT_EQ(contents(tagFile), (Tags{{"A", {"1"}}, {"B", {"x"}}}));
    EXPECT_TRUE(tagFile.isLoaded());
}

TEST(TagFileTest, PathErrors) {
    testsupport::TempDir dir;
    const std::string missing = dir.file("missing.tag");
    try {
        TagFile tagFile(missing.c_str());
        FAIL() << "no error";
    } catch (const LauncherException& e) {
        EXPECT_EQ(str(e.message), "Unable to load input file: " + missing);
    }
    // A directory opens but cannot be read: no endless loop, an error.
    try {
        TagFile tagFile(dir.path().c_str());
        FAIL() << "no error";
    } catch (const LauncherException& e) {
        EXPECT_EQ(str(e.message), "Unable to read tag file: Is a directory");
    }
    testsupport::writeFile(dir.file("bad.tag"), "A: 1\nB:\n");
    try {
        TagFile tagFile(dir.file("bad.tag").c_str());
        FAIL() << "no error";
    } catch (const LauncherException& e) {
        EXPECT_EQ(str(e.message), "Syntax error in " + dir.file("bad.tag") +
                                      " at line 2 ==> Missing /: tag completer.");
    }
}

TEST(TagFileTest, QueriesOfAbsentTagsAndValues) {
    TagFile tagFile;
    tagFile.appendTagValue("A", "1");
    tagFile.appendTagValue("A", "2");
    EXPECT_EQ(str(tagFile.getTagValue("A", 1)), "2");
    EXPECT_EQ(str(tagFile.getTagValue("A", 2)), "");
    EXPECT_EQ(str(tagFile.getTagValue("B", 0)), "");
    EXPECT_EQ(tagFile.getTagValueCount("A"), 2u);
    EXPECT_EQ(tagFile.getTagValueCount("B"), 0u);
    EXPECT_EQ(tagFile.getValue("B"), nullptr);
    EXPECT_EQ(tagFile.getValue("a"), nullptr);
    ASSERT_NE(tagFile.getValue("A"), nullptr);
    EXPECT_EQ(tagFile.getValue("A")->count, 2);
}

TEST(TagFileTest, SetKeepsPlaceAndLeavesOneValue) {
    TagFile tagFile;
    tagFile.appendTagValue("A", "1");
    tagFile.appendTagValue("A", "2");
    tagFile.setTagValue("B", "b");
    tagFile.setTagValue("A", "x");
    tagFile.appendTagValue("C", "c");
    EXPECT_EQ(contents(tagFile), (Tags{{"A", {"x"}}, {"B", {"b"}}, {"C", {"c"}}}));
    tagFile.removeValue("B");
    tagFile.removeValue("absent");
    tagFile.setTagValue("B", "again");
    EXPECT_EQ(contents(tagFile), (Tags{{"A", {"x"}}, {"C", {"c"}}, {"B", {"again"}}}));
}

TEST(TagFileTest, BoolValuesReadLikeShortNumbers) {
    const struct {
        const char* value;  // null: tag absent
        bool withDefaultFalse;
        bool withDefaultTrue;
    } cases[] = {
        {"1", true, true},
        {"-1", true, true},
        {" 2x", true, true},
        {"0", false, false},
        {" 0 trailing", false, false},
        {"yes", false, true},
        {"true", false, true},
        {"", false, true},
        {nullptr, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "(absent)");
        TagFile tagFile;
        if (c.value != nullptr) {
            tagFile.setTagValue("B", c.value);
        }
        EXPECT_EQ(tagFile.getBoolTagValue("B", false), c.withDefaultFalse);
        EXPECT_EQ(tagFile.getBoolTagValue("B", true), c.withDefaultTrue);
    }
}

TEST(TagFileTest, DynamicJVMTagsAreSetInOrder) {
    TagFile tagFile;
    tagFile.setTagValue("JVM_TEMP", "1");
    tagFile.setDynamicJVMTags("/opt/jdk", "/tmp/m.jvm", false);
    EXPECT_EQ(
        contents(tagFile),
        (Tags{{"JVM_TEMP", {"0"}}, {"JVM_HOME", {"/opt/jdk"}}, {"JVM_FILE", {"/tmp/m.jvm"}}}));
    tagFile.setBoolTagValue("JVM_TEMP", true);
    EXPECT_EQ(str(tagFile.getTagValue("JVM_TEMP", 0)), "1");
}

TEST(TagFileTest, WriteQuotesOnlyWhereNeeded) {
    testsupport::TempDir dir;
    TagFile tagFile;
    tagFile.appendTagValue("T", "a b");
    tagFile.appendTagValue("T", " c");
    tagFile.setTagValue("Q", "x\"y");
    tagFile.setTagValue("ONE", "value");
    tagFile.appendTagValue("E", "");
    tagFile.appendTagValue("E", "e");
    tagFile.appendTagValue("W", "tab\t");
    tagFile.write(dir.file("out.tag").c_str());
    EXPECT_EQ(testsupport::readFile(dir.file("out.tag")),
              "T:\n  a b\n  \" c\"\n/:\n"
              "Q:  \"x\"\"y\"\n"
              "ONE:  value\n"
              "E:\n  \"\"\n  e\n/:\n"
              "W:  \"tab\t\"\n");
}

TEST(TagFileTest, WrittenFileReadsBack) {
    const std::vector<std::string> values = {
        "plain", " lead", "trail ", "\tt",   "in\"side",
        "\"",    "\"\"",  "A: b",   "@@S1@", "\xc3\xa9t\xc3\xa9"};
    testsupport::TempDir dir;
    TagFile written;
    for (const std::string& v : values) {
        written.appendTagValue("MANY", v.c_str());
    }
    written.setTagValue("EMPTY", "");
    written.setTagValue("ONE", " spaced \"one\" ");
    // Large enough that copying the value for every character would show.
    written.setTagValue("LARGE", ("\"" + std::string(1 << 20, 'x') + "\"").c_str());
    written.write(dir.file("out.tag").c_str());

    TagFile read(dir.file("out.tag").c_str());
    EXPECT_EQ(contents(read), contents(written));
}

TEST(TagFileTest, EmptyValueInBlockIsDroppedWhenReadBack) {
    testsupport::TempDir dir;
    TagFile written;
    written.appendTagValue("A", "x");
    written.appendTagValue("A", "");
    written.appendTagValue("A", "y");
    written.write(dir.file("out.tag").c_str());
    TagFile read(dir.file("out.tag").c_str());
    EXPECT_EQ(contents(read), (Tags{{"A", {"x", "y"}}}));
}

TEST(TagFileTest, CompleterValueInBlockEndsItWhenReadBack) {
    testsupport::TempDir dir;
    TagFile written;
    written.appendTagValue("A", "x");
    written.appendTagValue("A", "/:");
    written.appendTagValue("A", "y");
    written.write(dir.file("out.tag").c_str());
    try {
        TagFile read(dir.file("out.tag").c_str());
        FAIL() << "no error";
    } catch (const LauncherException& e) {
        EXPECT_EQ(str(e.message), "Syntax error in " + dir.file("out.tag") +
                                      " at line 4 ==> Missing colon at the end of the tag name.");
    }
}

TEST(TagFileTest, WriteReplacesFileAndIgnoresUnopenablePath) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("out.tag"), "OLD: content that is longer than the new\n");
    TagFile tagFile;
    tagFile.setTagValue("N", "v");
    tagFile.write(dir.file("out.tag").c_str());
    EXPECT_EQ(testsupport::readFile(dir.file("out.tag")), "N:  v\n");
    tagFile.write(dir.file("no/such/dir/out.tag").c_str());
    EXPECT_FALSE(testsupport::fileExists(dir.file("no/such/dir/out.tag")));
}

TEST(TagFileTest, FailedWriteIsReported) {
    TagFile tagFile;
    tagFile.setTagValue("N", "v");
    try {
        tagFile.write("/dev/full");
        FAIL() << "no error";
    } catch (const LauncherException& e) {
        EXPECT_EQ(str(e.message), "Unable to write tag file /dev/full: No space left on device");
    }
}

TEST(TagFileTest, LargeFileLoadsInLinearTime) {
    // 100,000 distinct tags and a block of 100,000 values: a lookup or a
    // deque growth that is linear per line would take minutes here.
    const int count = 100000;
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += "TAG" + std::to_string(i) + ": v" + std::to_string(i) + "\n";
    }
    text += "BLOCK:\n";
    for (int i = 0; i < count; ++i) {
        text += "  value " + std::to_string(i) + "\n";
    }
    text += "/:\nTAG7: last\n";
    TagFile tagFile;
    loadText(tagFile, text);
    EXPECT_EQ(tagFile.entries.count, count + 1);
    EXPECT_EQ(str(tagFile.getTagValue("TAG99999", 0)), "v99999");
    EXPECT_EQ(str(tagFile.getTagValue("TAG7", 0)), "last");
    EXPECT_EQ(tagFile.getTagValueCount("BLOCK"), static_cast<unsigned int>(count));
    EXPECT_EQ(str(tagFile.getTagValue("BLOCK", count - 1)), "value 99999");
}

TEST(TagFileTest, LongLineLoadsInLinearTime) {
    // 8 MB on one line, read in blocks: growing the line by a fixed step
    // would copy it thousands of times.
    const std::string value(8 * 1024 * 1024, 'v');
    TagFile tagFile;
    loadText(tagFile, "LONG: " + value + "x\r\nNEXT: 1");
    EXPECT_EQ(str(tagFile.getTagValue("LONG", 0)), value + "x");
    EXPECT_EQ(str(tagFile.getTagValue("NEXT", 0)), "1");
}
