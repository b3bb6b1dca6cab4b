// The launcher program that cvpack puts at the front of every launcher file:
// built for size and stripped.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::runProcess;

// The names of the sections of an ELF file, empty when it is none.
std::vector<std::string> sectionNames(const std::string& elf) {
    Elf64_Ehdr header;
    if (elf.size() < sizeof header || elf.compare(0, SELFMAG, ELFMAG) != 0) {
        return {};
    }
    memcpy(&header, elf.data(), sizeof header);
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (header.e_shoff + sections.size() * sizeof(Elf64_Shdr) > elf.size() ||
        header.e_shstrndx >= sections.size()) {
        return {};
    }
    memcpy(sections.data(), elf.data() + header.e_shoff, sections.size() * sizeof(Elf64_Shdr));
    const Elf64_Shdr& names = sections[header.e_shstrndx];
    std::vector<std::string> result;
    for (const Elf64_Shdr& section : sections) {
        if (names.sh_offset + section.sh_name < elf.size()) {
            result.push_back(elf.c_str() + names.sh_offset + section.sh_name);
        }
    }
    return result;
}

TEST(LeanStubProcessTest, LauncherFileCarriesTheStrippedStub) {
    if (!CVLAUNCH_LEAN_STUB) {
        GTEST_SKIP() << "Debug and sanitizer builds do not build the launcher for size";
    }
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("setup.ins"), "INSTRUCTIONS:\n  SET N1 = 1\n/:\n");
    std::string cvpack = testsupport::cvpackPath();
    ProcessResult packed = runProcess({cvpack, "--instructions", dir.file("setup.ins"),
                                       "--no-verify-archive", "-o", dir.file("app")});
    ASSERT_EQ(packed.status, 0) << packed.err;

    // The stub is everything before the first embedded file: the offset on
    // the third line of the listing.
    std::istringstream listing(runProcess({cvpack, "--list", dir.file("app")}).out);
    std::string line;
    std::getline(listing, line);
    std::getline(listing, line);
    std::string type;
    long id = 0, size = 0, offset = 0;
    listing >> type >> id >> size >> offset;
    ASSERT_EQ(type, "instructions");
    std::string stub = readFile(dir.file("app")).substr(0, offset);

    EXPECT_LE(stub.size(), 512u * 1024);
    std::vector<std::string> sections = sectionNames(stub);
    EXPECT_FALSE(sections.empty());
    for (const std::string& name : sections) {
        EXPECT_NE(name.rfind(".debug", 0), 0u) << name;
        EXPECT_NE(name, ".symtab");
    }
}

}  // namespace
