// The subsystems of src/ build on one another in one order; a file includes
// only its own subsystem and those below it, except along the edges that the
// design needs, each listed here once with its reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

// From the bottom up.
const std::vector<std::string> kLayers = {"base", "platform",     "tagfile", "instructions",
                                          "jvm",  "launchscript", "payload", "launcher"};

struct Edge {
    const char* from;     // a subsystem, or a file of src/
    const char* include;  // what it may include although it lies above
    const char* reason;
};

const Edge kEdges[] = {
    {"*", "launcher/LauncherException.h", "every subsystem reports failures with it"},
    {"*", "launcher/Launcher.h", "every subsystem writes the log through it"},
    {"base/TextUtils.cpp", "platform/PlatformImpl.h",
     "the text utilities ask the platform for the path separator"},
    {"jvm", "launchscript/MacroHandler.h", "JVMFile is a macro handler"},
    {"jvm", "launchscript/LaunchScript.h", "JVMFile verifies through a launch script"},
    {"jvm", "launchscript/CommandText.h", "the probe's command is a launch command"},
};

size_t rankOf(const std::string& subsystem) {
    return std::find(kLayers.begin(), kLayers.end(), subsystem) - kLayers.begin();
}

bool allowed(const std::string& file, const std::string& subsystem, const std::string& include) {
    for (const Edge& edge : kEdges) {
        std::string from = edge.from;
        if ((from == "*" || from == subsystem || from == file) && include == edge.include) {
            return true;
        }
    }
    return false;
}

TEST(LayersTest, NoFileIncludesASubsystemAboveItsOwn) {
    const std::filesystem::path root = std::filesystem::path(SOURCE_DIR) / "src";
    const std::regex includeLine("#include \"([a-z]+)/([A-Za-z0-9_]+\\.h)\"");
    size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::string file = entry.path().lexically_relative(root).string();
        std::string subsystem = file.substr(0, file.find('/'));
        if (!entry.is_regular_file() || rankOf(subsystem) == kLayers.size()) {
            continue;
        }
        ++files;
        std::ifstream source(entry.path());
        std::string line;
        std::smatch match;
        while (std::getline(source, line)) {
            if (!std::regex_search(line, match, includeLine)) {
                continue;
            }
            std::string target = match[1];
            std::string include = target + "/" + std::string(match[2]);
            EXPECT_TRUE(rankOf(target) < kLayers.size()) << file << " includes " << include;
            EXPECT_TRUE(rankOf(target) <= rankOf(subsystem) || allowed(file, subsystem, include))
                << file << " includes " << include << ", which lies above " << subsystem;
        }
    }
    EXPECT_GT(files, 100u);
}

}  // namespace
