#include "FuzzTargets.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/TextUtils.h"
#include "cvpack/ApplicationConfig.h"
#include "cvpack/JarManifest.h"
#include "instructions/Instructions.h"
#include "jvm/JVMFile.h"
#include "jvm/JavaVersion.h"
#include "jvm/StringPair.h"
#include "jvm/VerifyCache.h"
#include "jvm/VerifyClass.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "launchscript/CommandText.h"
#include "launchscript/LaunchScript.h"
#include "payload/FileIndexEntry.h"
#include "payload/LauncherInputFiles.h"
#include "platform/CacheStore.h"
#include "platform/CmdLine.h"
#include "platform/PlatformImpl.h"
#include "tagfile/TagFile.h"
#include "tagfile/TagFileEntry.h"

const FuzzTarget kFuzzTargets[] = {
    {"LauncherFile", fuzzLauncherFile}, {"TagFile", fuzzTagFile},
    {"Instructions", fuzzInstructions}, {"LaunchScript", fuzzLaunchScript},
    {"CmdLine", fuzzCmdLine},           {"JavaVersion", fuzzJavaVersion},
    {"VerifyCache", fuzzVerifyCache},   {"JarManifest", fuzzJarManifest},
    {"JavaRange", fuzzJavaRange},       {"LiteralWords", fuzzLiteralWords},
};
const size_t kFuzzTargetCount = sizeof kFuzzTargets / sizeof kFuzzTargets[0];

namespace {

const char* const kLaunchScriptSeparator = "\n---\n";

SString g_directory;

void removeDirectory() {
    PlatformImpl::deleteFile(g_directory);
}

// The private directory of this process, made on first use under TMPDIR (or
// /tmp) and removed at exit. Every file an input leads to lies inside it.
const SString& directory() {
    if (g_directory.empty()) {
        const char* base = getenv("TMPDIR");
        SString pattern(base != nullptr && *base != '\0' ? base : "/tmp");
        pattern += "/cvfuzzXXXXXX";
        std::unique_ptr<char[]> name(new char[pattern.length() + 1]);
        memcpy(name.get(), pattern.c_str(), pattern.length() + 1);
        if (mkdtemp(name.get()) == nullptr) {
            throw std::runtime_error("cannot create the fuzz directory");
        }
        g_directory = name.get();
        atexit(removeDirectory);
    }
    return g_directory;
}

SString pathIn(const char* name) {
    SString path = directory();
    path += "/";
    path += name;
    return path;
}

void writeBytes(const SString& path, const uint8_t* data, size_t size) {
    FILE* file = fopen(path.c_str(), "wb");
    bool written = file != nullptr && fwrite(data, 1, size, file) == size;
    if (file != nullptr && fclose(file) != 0) {
        written = false;
    }
    if (!written) {
        throw std::runtime_error("cannot write a fuzz input file");
    }
}

SString writeFile(const char* name, const uint8_t* data, size_t size) {
    SString path = pathIn(name);
    writeBytes(path, data, size);
    return path;
}

SString toText(const uint8_t* data, size_t size) {
    return SString(reinterpret_cast<const char*>(data), static_cast<unsigned int>(size));
}

// Puts back what an earlier input may have changed. The launcher's names
// point into a directory that does not exist, so that no side file of a
// launch script is ever found.
void resetProcessState() {
    Launcher::setLogFileName(SString());
    PlatformImpl::setSilent(true);
    PlatformImpl::setSystemTempDir(directory());
    PlatformImpl::m_canceled = 0;
    for (long n = 1; Launcher::isValidStringVariable(n); ++n) {
        Launcher::setStringVariable(n, SString());
    }
    for (long n = 1; Launcher::isValidLongVariable(n); ++n) {
        Launcher::setLongVariable(n, 0);
    }
    Launcher::m_launcherFileName = pathIn("missing/launcher.bin");
    Launcher::m_origLauncherFileName = Launcher::m_launcherFileName;
    Launcher::m_applicationArchive = SString();
    resetInstructionBudget();
}

void violation(const char* what) {
    throw FuzzPropertyViolation(what);
}

void expectSameTags(const TagFile& original, const TagFile& copy) {
    if (original.entries.count != copy.entries.count) {
        violation("a written tag file reads back with another number of tags");
    }
    for (long i = 0; i < original.entries.count; ++i) {
        const TagFileEntry* a = original.entries.at(i);
        const TagFileEntry* b = copy.entries.at(i);
        if (a->name.compare(b->name) != 0) {
            violation("a written tag file reads back with another tag name or order");
        }
        if (a->values->count != b->values->count) {
            violation("a written tag reads back with another number of values");
        }
        for (long v = 0; v < a->values->count; ++v) {
            if (a->values->at(v).compare(b->values->at(v)) != 0) {
                violation("a written tag value reads back changed");
            }
        }
    }
}

// Restores an environment variable when the object ends.
class SavedVariable {
  public:
    explicit SavedVariable(const SString& name)
        : m_name(name), m_value(PlatformImpl::getEnvironmentVariable(name)) {}
    ~SavedVariable() { PlatformImpl::setEnvironmentVariable(m_name, m_value); }
    SavedVariable(const SavedVariable&) = delete;
    SavedVariable& operator=(const SavedVariable&) = delete;

  private:
    SString m_name;
    SString m_value;
};

// Whether the system, which reads a name up to its first NUL byte, would
// take it as absolute or as climbing out with a ".." component.
bool leavesDirectory(const SString& name) {
    std::string path(name.c_str());
    if (!path.empty() && path[0] == '/') {
        return true;
    }
    for (size_t start = 0;; ++start) {
        size_t end = path.find('/', start);
        size_t length = end == std::string::npos ? std::string::npos : end - start;
        if (path.compare(start, length, "..") == 0) {
            return true;
        }
        if (end == std::string::npos) {
            return false;
        }
        start = end;
    }
}

// An escaping name must be refused before anything is opened. The launcher
// file is made to look missing, so that nothing can be written even if the
// refusal fails. A name with a NUL byte is another name to the system; only
// that nothing is written counts for it.
void expectRefused(const FileIndexEntry& entry, const SString& directory) {
    bool plain = strlen(entry.m_fileName.c_str()) == entry.m_fileName.length();
    Launcher::m_launcherFileName = pathIn("missing/launcher.bin");
    try {
        entry.extract(directory);
    } catch (const LauncherException& e) {
        if (plain && e.message.find("Unsafe file name in file index: ") != 0) {
            violation("an escaping entry name is not refused");
        }
        return;
    }
    violation("an entry was extracted from a missing launcher file");
}

void expectExtracted(const FileIndexEntry& entry, const SString& directory,
                     const SString& launcherPath) {
    Launcher::m_launcherFileName = launcherPath;
    SString expected(directory);
    expected += "/";
    expected += entry.m_fileName;
    try {
        if (entry.extract(directory).compare(expected) != 0) {
            violation("an entry was extracted to another path than its name");
        }
    } catch (const LauncherException&) {
    }
}

// Extracts every entry of a loaded index from the input into a new
// directory, which goes again afterwards.
void extractEntries(const LauncherInputFiles& files, const SString& launcherPath) {
    SString directory = PlatformImpl::createTempSubDirectory();
    for (long i = 0; i < files.m_fileIndex.count; ++i) {
        const FileIndexEntry& entry = *files.getFileAt(i);
        bool plain = strlen(entry.m_fileName.c_str()) == entry.m_fileName.length();
        if (leavesDirectory(entry.m_fileName)) {
            expectRefused(entry, directory);
        } else if (plain) {
            expectExtracted(entry, directory, launcherPath);
        }
    }
    PlatformImpl::removeDirFromCleanupList(directory);
    PlatformImpl::deleteFile(directory);
}

// The first `count` lines of a text (split at line feeds; fewer when it has
// fewer).
std::vector<SString> firstLines(const SString& text, size_t count) {
    std::vector<SString> lines;
    unsigned int start = 0;
    while (lines.size() < count && start <= text.length()) {
        unsigned int end = text.find('\n', start);
        end = end == SString::npos ? text.length() : end;
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

int sign(int order) {
    return (order > 0) - (order < 0);
}

// compare must order versions totally: each equals itself, swapping two
// turns the order round, and the order passes on from one to the next.
void expectTotalOrder(const std::vector<JavaVersion>& versions) {
    for (const JavaVersion& a : versions) {
        if (a.compare(a) != 0) {
            violation("a version does not equal itself");
        }
        for (const JavaVersion& b : versions) {
            if (sign(a.compare(b)) != -sign(b.compare(a))) {
                violation("two versions compare differently one way and the other");
            }
            for (const JavaVersion& c : versions) {
                if (a.compare(b) <= 0 && b.compare(c) <= 0 && a.compare(c) > 0) {
                    violation("the order of versions does not pass on");
                }
            }
        }
    }
}

// The four ranges of one bound must agree on a reported value: it lies
// above, below or at the bound, or (when it is no version) in none.
void expectRangesAgree(const StringPair& entry, const SString& reported) {
    auto matches = [&](PropertyOperator op) {
        return StringPair(entry.m_name, entry.m_value, op).matches(reported);
    };
    bool atLeast = matches(PropertyOperator::AtLeast);
    bool above = matches(PropertyOperator::Above);
    bool atMost = matches(PropertyOperator::AtMost);
    bool below = matches(PropertyOperator::Below);
    bool at = atLeast && atMost;
    bool known = atLeast || atMost;
    if (atLeast != (above || at) || atMost != (below || at) || (above && atMost) ||
        (below && atLeast) || (known && above + below + at != 1)) {
        violation("the ranges of one bound disagree on a reported value");
    }
}

// The text as one word for /bin/sh, in single quotes.
SString singleQuoted(const SString& text) {
    SString quoted("'");
    for (unsigned int i = 0; i < text.length(); ++i) {
        quoted += text[i] == '\'' ? SString("'\\''") : SString(1, text[i]);
    }
    quoted += "'";
    return quoted;
}

// The arguments that literal words make after a program, as the words of
// a ".ja" line stand in a launch command.
std::vector<std::string> argumentsOf(const SString& words) {
    std::vector<std::string> arguments;
    CommandText command(joinText("java ", words), nullptr);
    if (!command.runsDirectly()) {
        violation("literal words do not make a plain command");
    }
    for (long i = 1; i < command.arguments().count; ++i) {
        const SString& argument = command.arguments().at(i);
        arguments.push_back(std::string(argument.data(), argument.length()));
    }
    return arguments;
}

// The file of the verification cache, in a cache directory of its own
// inside the private directory: written by the input, then stored to.
SString verifyCacheFile() {
    PlatformImpl::setEnvironmentVariable("XDG_CACHE_HOME", pathIn("cache"));
    PlatformImpl::setEnvironmentVariable("CVLAUNCH_VERIFY_CACHE", "1");
    CacheStore store("");
    if (!store.usable()) {
        throw std::runtime_error("cannot create the cache directory");
    }
    return store.path("verified-jvms");
}

SString readText(const SString& path) {
    SString text;
    FILE* file = fopen(path.c_str(), "rb");
    if (file != nullptr) {
        readFromFile(file, &text);
        fclose(file);
    }
    return text;
}

}  // namespace

void fuzzLauncherFile(const uint8_t* data, size_t size) {
    resetProcessState();
    SString path = writeFile("launcher.bin", data, size);
    LauncherInputFiles files;
    try {
        files.load(path, true);
    } catch (const LauncherException&) {
        return;
    }
    extractEntries(files, path);
}

void fuzzTagFile(const uint8_t* data, size_t size) {
    resetProcessState();
    SString path = writeFile("input.tag", data, size);
    std::unique_ptr<TagFile> original;
    try {
        original.reset(new TagFile(path));
    } catch (const LauncherException&) {
        return;
    }
    SString copyPath = pathIn("written.tag");
    original->write(copyPath);
    std::unique_ptr<TagFile> copy;
    try {
        copy.reset(new TagFile(copyPath));
    } catch (const LauncherException&) {
        violation("a written tag file does not read back");
    }
    expectSameTags(*original, *copy);
}

void fuzzInstructions(const uint8_t* data, size_t size) {
    resetProcessState();
    SString text = toText(data, size);
    TagFile program;
    unsigned int start = 0;
    while (start < text.length()) {
        unsigned int end = text.find('\n', start);
        if (end == SString::npos) {
            end = text.length();
        }
        program.appendTagValue(Instructions::g_instructionsTag, text.substr(start, end - start));
        start = end + 1;
    }
    Instructions instructions(program);
    try {
        instructions.execute();
    } catch (const LauncherException&) {
    }
}

void fuzzLaunchScript(const uint8_t* data, size_t size) {
    resetProcessState();
    SString text = toText(data, size);
    unsigned int separator = text.find(kLaunchScriptSeparator);
    SString jvmText = separator == SString::npos ? SString() : text.substr(0, separator);
    SString scriptText =
        separator == SString::npos ? text : text.substr(separator + strlen(kLaunchScriptSeparator));
    const uint8_t* jvmBytes = reinterpret_cast<const uint8_t*>(jvmText.c_str());
    const uint8_t* scriptBytes = reinterpret_cast<const uint8_t*>(scriptText.c_str());
    SString jvmPath = writeFile("java.jvm", jvmBytes, jvmText.length());
    SString scriptPath = writeFile("launch.tag", scriptBytes, scriptText.length());
    try {
        TagFile jvmTags(jvmPath);
        TagFile scriptTags(scriptPath);
        JVMFile jvm(jvmTags);
        LaunchScript script(scriptTags, false);
        // CP may export the class path into the variable that the JVM file
        // names; later inputs must not see it.
        SavedVariable classpathVariable(jvmTags.getTagValue("CP_ENV_VAR", 0));
        script.resolve(jvm);
    } catch (const LauncherException&) {
    }
}

void fuzzCmdLine(const uint8_t* data, size_t size) {
    resetProcessState();
    SString line = toText(data, size);
    CmdLine cmdLine;
    cmdLine.parse(line);
    int count = cmdLine.getOptionCount();
    size_t total = 0;
    for (int i = 0; i < count; ++i) {
        const char* option = cmdLine.getOption(i);
        if (option == nullptr) {
            violation("an argument below the count is missing");
        }
        total += strlen(option);
    }
    if (count < 0 || cmdLine.getOption(count) != nullptr || cmdLine.getOption(-1) != nullptr) {
        violation("the argument count does not match the arguments");
    }
    if (total > size) {
        violation("the arguments hold more bytes than the line");
    }
    cmdLine.parse(line);
    if (cmdLine.getOptionCount() != count) {
        violation("parsing the same line again gives another count");
    }
}

void fuzzJavaVersion(const uint8_t* data, size_t size) {
    resetProcessState();
    std::vector<SString> lines = firstLines(toText(data, size), 3);
    std::vector<JavaVersion> versions;
    for (const SString& line : lines) {
        for (bool legacyPrefix : {true, false}) {
            JavaVersion version;
            if (JavaVersion::parse(line, version, legacyPrefix)) {
                versions.push_back(version);
            }
        }
    }
    expectTotalOrder(versions);
    StringPair entry;
    if (lines.size() > 1 && StringPair::parse(lines[0], entry) == PropertyEntryStatus::Valid &&
        entry.m_operator != PropertyOperator::Matches) {
        expectRangesAgree(entry, lines[1]);
    }
}

void fuzzVerifyCache(const uint8_t* data, size_t size) {
    resetProcessState();
    SavedVariable cacheHome("XDG_CACHE_HOME");
    SavedVariable cacheSwitch("CVLAUNCH_VERIFY_CACHE");
    SString path = verifyCacheFile();
    // A home the cache answers for: an ELF executable and a JVM library.
    PlatformImpl::privateDirectory(pathIn("jdk/bin"));
    PlatformImpl::privateDirectory(pathIn("jdk/lib/server"));
    const uint8_t elf[] = {0x7f, 'E', 'L', 'F'};
    writeFile("jdk/bin/java", elf, sizeof elf);
    writeFile("jdk/lib/server/libjvm.so", elf, sizeof elf);
    // The same key for every input: the cache's memory of this run holds
    // one entry, however many inputs run.
    VerifyCache::Key key = VerifyCache::keyOf(pathIn("jdk/bin/java"), VerifyClass());
    StringDeque names;
    names.push_back("java.version");
    StringDeque values;
    values.push_back("17");
    writeBytes(path, data, size);
    // What a store wrote reads back as it was written: a second store of
    // the same values writes the same file again.
    VerifyCache::store(key, names, values);
    SString first = readText(path);
    VerifyCache::store(key, names, values);
    if (first.empty()) {
        violation("a store wrote no cache file");
    }
    if (readText(path).compare(first) != 0) {
        violation("a cache file that a store wrote reads back changed");
    }
}

void fuzzJarManifest(const uint8_t* data, size_t size) {
    resetProcessState();
    JarManifest manifest(std::string(reinterpret_cast<const char*>(data), size));
    for (const char* name : {"Main-Class", "Class-Path"}) {
        std::string attribute = manifest.attribute(name);
        SString value(attribute.data(), static_cast<unsigned int>(attribute.size()));
        if (value.find_first_of("\r\n") != SString::npos) {
            violation("a manifest attribute holds a line break");
        }
        SString trimmed = value;
        trim(trimmed, whitespaceChars);
        if (trimmed.compare(value) != 0) {
            violation("a manifest attribute keeps blanks around it");
        }
    }
}

void fuzzJavaRange(const uint8_t* data, size_t size) {
    resetProcessState();
    std::vector<SString> entries;
    try {
        entries = ApplicationConfig::versionProperties(toText(data, size));
    } catch (const LauncherException&) {
        return;
    }
    if (entries.empty() || entries.size() > 2) {
        violation("a --java range gives no entry or more than two");
    }
    std::vector<JavaVersion> bounds;
    for (const SString& text : entries) {
        StringPair entry;
        if (StringPair::parse(text, entry) != PropertyEntryStatus::Valid) {
            violation("a --java range gives an entry that the launcher refuses");
        }
        JavaVersion bound;
        if (entry.m_operator != PropertyOperator::Matches &&
            JavaVersion::parse(entry.m_value, bound,
                               JavaVersion::isVersionProperty(entry.m_name))) {
            bounds.push_back(bound);
        }
    }
    if (bounds.size() == 2 && bounds[0].compare(bounds[1]) > 0) {
        violation("a --java range gives a lower bound above its upper one");
    }
}

void fuzzLiteralWords(const uint8_t* data, size_t size) {
    resetProcessState();
    SString text = toText(data, size);
    std::vector<std::string> arguments = argumentsOf(CommandText::literalWords(text));
    // A text of its own marks is only split, never quoted again.
    if (CommandText::plain(text).compare(text) != 0) {
        return;
    }
    // Each word, quoted for a shell, is that word again.
    SString quoted;
    for (const std::string& argument : arguments) {
        quoted +=
            singleQuoted(SString(argument.data(), static_cast<unsigned int>(argument.size())));
        quoted += " ";
    }
    if (argumentsOf(CommandText::literalWords(quoted)) != arguments) {
        violation("quoted literal words split into other words");
    }
}
