#include "support/TestSupport.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "base/StringDeque.h"
#include "launcher/Launcher.h"
#include "payload/FileIndexEntry.h"
#include "payload/LauncherInputFiles.h"
#include "tagfile/TagFile.h"

namespace testsupport {

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    // A read that fails (a directory, the /proc entry of a process that has
    // just ended) throws from the stream buffer.
    try {
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        return "";
    }
}

void writeFile(const std::string& path, const std::string& content, int mode) {
    std::ofstream file(path, std::ios::binary);
    file << content;
    file.close();
    if (!file || chmod(path.c_str(), mode) != 0) {
        throw std::runtime_error("cannot write " + path);
    }
}

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

bool waitForFile(const std::string& path, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs && !fileExists(path); waited += 10) {
        usleep(10000);
    }
    return fileExists(path);
}

bool processGone(int pid) {
    if (kill(pid, 0) != 0) {
        return true;
    }
    std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    size_t name = stat.rfind(')');
    return name == std::string::npos || stat.compare(name, 3, ") Z") == 0;
}

bool waitForProcessEnd(int pid, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs && !processGone(pid); waited += 10) {
        usleep(10000);
    }
    return processGone(pid);
}

void makeDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0755);
    }
    mkdir(path.c_str(), 0755);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> listOf(const StringDeque& list) {
    std::vector<std::string> strings;
    for (long i = 0; i < list.count; ++i) {
        strings.push_back(list.at(i).c_str());
    }
    return strings;
}

std::vector<std::string> entriesOf(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* handle = opendir(dir.c_str())) {
        while (dirent* entry = readdir(handle)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(handle);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string realPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : "";
}

size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::string noise(size_t size) {
    std::string bytes(size, '\0');
    unsigned int state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return bytes;
}

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

void appendTags(TagFile& tagFile, const std::vector<std::pair<const char*, const char*>>& tags) {
    for (const auto& tag : tags) {
        tagFile.appendTagValue(tag.first, tag.second);
    }
}

FileIndexEntry& addIndexEntry(long type, long id) {
    FileIndexEntry* entry = new FileIndexEntry();
    entry->m_fileType = type;
    entry->m_fileId = id;
    Launcher::m_inputFiles.m_fileIndex.push_back(entry);
    return *entry;
}

std::string findJDK() {
    for (const std::string& name : entriesOf("/usr/lib/jvm")) {
        std::string home = "/usr/lib/jvm/" + name;
        if (name[0] != '.' && access((home + "/bin/java").c_str(), X_OK) == 0) {
            return realPath(home);
        }
    }
    return "";
}

std::vector<std::string> launcherCommand(const std::string& launcher,
                                         const std::vector<std::string>& args,
                                         const LauncherOptions& options) {
    std::vector<std::string> command = {launcher};
    if (!options.tempDir.empty()) {
        command.insert(command.end(), {"-cv:tempdir", options.tempDir});
    }
    if (!options.logFile.empty() && options.logOption) {
        command.insert(command.end(), {"-cv:log", options.logFile});
    }
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

LauncherResult runLauncher(const std::string& launcher, const std::vector<std::string>& args,
                           LauncherOptions options) {
    options.env.emplace("LANG", kUnset);
    LauncherResult result;
    static_cast<ProcessResult&>(result) =
        runProcess(launcherCommand(launcher, args, options), options);
    if (!options.logFile.empty()) {
        result.log = readFile(options.logFile);
    }
    return result;
}

}  // namespace testsupport
