// The runtime installer as a launcher runs it: the cvinstall file that
// RuntimeImage::write makes, started without arguments in an empty
// destination. It restores the runtime home exactly and writes "jvm" last;
// hostile or damaged images are refused, naming the entry, with nothing
// written outside the destination and no "jvm" file.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/TextUtils.h"
#include "cvinstall/RuntimeImage.h"
#include "launcher/LauncherException.h"
#include "payload/RuntimeTrailer.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const char kRelease[] = "JAVA_VERSION=\"17.0.15\"\nMODULES=\"java.base java.logging\"\n";
const char kJvm[] = "JVM_EXE: bin/java\n";

// What a tree holds, one line per entry: name, kind, permissions, and the
// size, modification second and content of a file, or the target of a link.
std::map<std::string, std::string> treeOf(const std::string& root) {
    std::map<std::string, std::string> tree;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        fs::file_status status = entry.symlink_status();
        std::string line = std::to_string(static_cast<int>(status.type())) + " " +
                           std::to_string(static_cast<int>(status.permissions()));
        if (fs::is_symlink(status)) {
            line += " -> " + fs::read_symlink(entry.path()).string();
        } else {
            auto seconds = std::chrono::floor<std::chrono::seconds>(entry.last_write_time());
            line += " at " + std::to_string(seconds.time_since_epoch().count());
        }
        if (fs::is_regular_file(status)) {
            line += " " + std::to_string(entry.file_size()) + " " + readFile(entry.path());
        }
        tree[entry.path().lexically_relative(root).string()] = line;
    }
    return tree;
}

ProcessResult runInstaller(const std::string& installer, const std::string& destination) {
    testsupport::ProcessOptions options;
    options.workingDir = destination;
    return testsupport::runProcess({installer}, options);
}

// An entry of a hand-made archive.
struct Entry {
    char kind;  // 'f' file, 'd' directory, 'l' symbolic link, 'h' hard link, 'p' fifo, 'c' device
    std::string name;
    std::string target;  // of a link
};

// A zstd-compressed tar archive of the entries, made with the archive library.
std::string archiveOf(const std::vector<Entry>& entries) {
    std::vector<char> buffer(1 << 20);
    size_t used = 0;
    archive* writer = archive_write_new();
    archive_write_add_filter_zstd(writer);
    archive_write_set_format_pax_restricted(writer);
    archive_write_open_memory(writer, buffer.data(), buffer.size(), &used);
    const std::map<char, int> kinds = {{'f', AE_IFREG}, {'d', AE_IFDIR}, {'l', AE_IFLNK},
                                       {'h', AE_IFREG}, {'p', AE_IFIFO}, {'c', AE_IFCHR}};
    for (const Entry& wanted : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, wanted.name.c_str());
        archive_entry_set_filetype(entry, kinds.at(wanted.kind));
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, wanted.kind == 'f' ? 2 : 0);
        if (wanted.kind == 'l') {
            archive_entry_set_symlink(entry, wanted.target.c_str());
        } else if (wanted.kind == 'h') {
            archive_entry_set_hardlink(entry, wanted.target.c_str());
        } else if (wanted.kind == 'c') {
            archive_entry_set_rdevmajor(entry, 1);
            archive_entry_set_rdevminor(entry, 3);
        }
        EXPECT_EQ(archive_write_header(writer, entry), ARCHIVE_OK) << wanted.name;
        archive_write_data(writer, "x\n", archive_entry_size(entry));
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    return std::string(buffer.data(), used);
}

// The runtime installer of an image: the cvinstall program, the image and
// its trailer.
std::string installerOf(const std::string& image) {
    std::string program = readFile(CVINSTALL_PATH);
    RuntimeTrailer trailer;
    trailer.imageOffset = program.size();
    trailer.checksum = hashBytes(kHashStart, image.data(), image.size());
    unsigned char bytes[RuntimeTrailer::kSize];
    trailer.format(bytes);
    return program + image + std::string(reinterpret_cast<char*>(bytes), sizeof bytes);
}

TEST(RuntimeImageTest, TheInstallerRestoresTheHomeExactlyAndWritesJvmLast) {
    TempDir temp;
    std::string home = temp.file("home");
    std::string longName(120, 'n');
    for (const char* directory : {"", "/bin", "/lib", "/lib/security/deep", "/legal"}) {
        fs::create_directories(home + directory);
    }
    fs::permissions(home + "/lib/security", fs::perms(0700));
    writeFile(home + "/release", kRelease);
    writeFile(home + "/bin/java", "#!/bin/sh\necho java\n", 0755);
    writeFile(home + "/lib/security/deep/" + longName, testsupport::noise(70000), 0644);
    writeFile(home + "/lib/private", "secret", 0600);
    writeFile(home + "/lib/empty", "", 0644);
    fs::create_symlink("../lib/private", home + "/legal/LICENSE");
    std::string installer = temp.file("installer");
    RuntimeImageInfo written =
        RuntimeImage::write(CVINSTALL_PATH, home.c_str(), {{"jvm", kJvm}}, installer.c_str());

    std::string destination = temp.file("destination");
    fs::create_directory(destination);
    ProcessResult result = runInstaller(installer, destination);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readFile(destination + "/jvm"), kJvm);
    fs::remove(destination + "/jvm");
    EXPECT_EQ(treeOf(destination), treeOf(home));

    RuntimeImageInfo described =
        RuntimeImage::describe(installer.c_str(), 0, fs::file_size(installer));
    EXPECT_EQ(testsupport::str(described.javaVersion), "17.0.15");
    ASSERT_EQ(described.modules.size(), 2u);
    EXPECT_EQ(testsupport::str(described.modules[1]), "java.logging");
    EXPECT_EQ(described.files, 12);  // jvm, 5 directories, 5 files, 1 link
    EXPECT_EQ(described.bytes,
              static_cast<long long>(sizeof kJvm - 1 + sizeof kRelease - 1 + 20 + 70000 + 6));
    EXPECT_EQ(described.files, written.files);
    EXPECT_EQ(described.bytes, written.bytes);
    EXPECT_EQ(testsupport::str(described.key), testsupport::str(written.key));
    EXPECT_EQ(described.packedBytes, written.packedBytes);

    // The same home gives the same bytes.
    RuntimeImage::write(CVINSTALL_PATH, home.c_str(), {{"jvm", kJvm}}, temp.file("again").c_str());
    EXPECT_TRUE(readFile(temp.file("again")) == readFile(installer));

    ASSERT_EQ(mkfifo((home + "/lib/pipe").c_str(), 0644), 0);
    try {
        RuntimeImage::write(CVINSTALL_PATH, home.c_str(), {}, temp.file("refused").c_str());
        ADD_FAILURE() << "a fifo was packed";
    } catch (const LauncherException& e) {
        EXPECT_NE(testsupport::str(e.message).find("\"lib/pipe\" is refused: it is a fifo"),
                  std::string::npos)
            << e.message.c_str();
    }
    EXPECT_FALSE(fs::exists(temp.file("refused")));
}

struct Refusal {
    const char* what;
    // The installer, given the directory beside the destination that must
    // stay empty.
    std::function<std::string(const std::string& outside)> installer;
    const char* message;  // a part of the message on standard error
};

std::function<std::string(const std::string&)> hostile(std::vector<Entry> entries) {
    return [entries](const std::string& outside) {
        std::vector<Entry> placed = entries;
        for (Entry& entry : placed) {
            for (std::string* text : {&entry.name, &entry.target}) {
                size_t at = text->find("OUTSIDE");
                if (at != std::string::npos) {
                    text->replace(at, 7, outside);
                }
            }
        }
        return installerOf(archiveOf(placed));
    };
}

TEST(RuntimeImageTest, HostileOrDamagedImagesAreRefusedAndWriteNothingOutside) {
    std::string good = installerOf(archiveOf({{'d', "bin", ""}, {'f', "bin/java", ""}}));
    std::string flipped = good;
    flipped[flipped.size() - RuntimeTrailer::kSize - 10] ^= 1;
    const Refusal refusals[] = {
        {"absolute name", hostile({{'f', "OUTSIDE/x", ""}}), "is refused: its name is absolute"},
        {"climbing name", hostile({{'d', "a", ""}, {'f', "a/../../x", ""}}),
         "\"a/../../x\" is refused: its name holds \"..\""},
        {"link to /etc", hostile({{'l', "etc", "/etc"}}), "\"etc\" is refused"},
        {"escaping link", hostile({{'d', "a", ""}, {'l', "a/l", "../../x"}}),
         "\"a/l\" is refused: its target ../../x leads out of the destination"},
        {"file through a link outside", hostile({{'l', "d", "OUTSIDE"}, {'f', "d/f", ""}}),
         "\"d\" is refused: it is a symbolic link to the absolute path"},
        {"file through a link inside", hostile({{'l', "d", "."}, {'f', "d/f", ""}}),
         "\"d/f\" is refused: it lies beyond the symbolic link d"},
        {"links chained out", hostile({{'d', "a", ""}, {'l', "a/b", ".."}, {'l', "c", "a/b/../x"}}),
         "\"c\" is refused: its target a/b/../x climbs"},
        {"hard link", hostile({{'f', "x", ""}, {'h', "h", "x"}}), "\"h\" is refused: it is a hard"},
        {"fifo", hostile({{'p', "p", ""}}), "\"p\" is refused: it is a fifo"},
        {"device", hostile({{'c', "null", ""}}), "\"null\" is refused: it is a character device"},
        {"jvm first", hostile({{'f', "jvm", ""}, {'f', "../x", ""}}), "\"../x\" is refused"},
        {"jvm as a link", hostile({{'l', "jvm", "bin"}}), "\"jvm\" is refused"},
        {"below jvm", hostile({{'f', "jvm/x", ""}}), "\"jvm/x\" is refused: the name jvm is kept"},
        {"the destination itself", hostile({{'d', "./", ""}}),
         "\"./\" is refused: it names the destination itself"},
        {"flipped byte", [&](const std::string&) { return flipped; },
         "the runtime image is damaged: its checksum is "},
        {"no trailer", [&](const std::string&) { return readFile(CVINSTALL_PATH); },
         "carries no runtime image"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        TempDir temp;
        std::string outside = temp.file("outside");
        std::string destination = temp.file("destination");
        fs::create_directory(outside);
        fs::create_directory(destination);
        writeFile(temp.file("installer"), refusal.installer(outside), 0755);

        ProcessResult result = runInstaller(temp.file("installer"), destination);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find(std::string("cvinstall: ")), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(refusal.message), std::string::npos) << result.err;
        EXPECT_EQ(temp.entries(),
                  (std::vector<std::string>{"destination", "installer", "outside"}));
        EXPECT_TRUE(testsupport::entriesOf(outside).empty());
        EXPECT_FALSE(fs::exists(fs::symlink_status(destination + "/jvm")));
        if (std::string(refusal.message).find(" is refused") == std::string::npos) {
            EXPECT_TRUE(testsupport::entriesOf(destination).empty());
        }
    }
}

TEST(RuntimeImageTest, AnArgumentIsAUsageErrorAndHelpSaysWhatItIs) {
    ProcessResult help = testsupport::runProcess({CVINSTALL_PATH, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("not meant to be run by hand"), std::string::npos) << help.out;
    ProcessResult wrong = testsupport::runProcess({CVINSTALL_PATH, "--force"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("cvinstall: unexpected argument --force"), std::string::npos)
        << wrong.err;
}

}  // namespace
