#include "launchscript/ArchiveOptions.h"

#include <cstdio>

#include "base/TextUtils.h"
#include "platform/PlatformImpl.h"

namespace {

enum Kind { SHAPING, NO_MAKER, OWN_SHARING, CLASSPATH };
// EXACT: the word itself; PREFIX: a word that begins with the name; VALUED:
// the word followed by a value, or the name, "=" and the value in one word.
enum Form { EXACT, PREFIX, VALUED };

struct Rule {
    const char* name;
    Form form;
    Kind kind;
};

const Rule kRules[] = {
    {"-XX:ObjectAlignmentInBytes=", PREFIX, SHAPING},
    {"-XX:+UseCompressedOops", EXACT, SHAPING},
    {"-XX:-UseCompressedOops", EXACT, SHAPING},
    {"-XX:+UseCompressedClassPointers", EXACT, SHAPING},
    {"-XX:-UseCompressedClassPointers", EXACT, SHAPING},
    {"-Xmx", PREFIX, SHAPING},
    {"-XX:MaxHeapSize=", PREFIX, SHAPING},
    {"-XX:+UseSerialGC", EXACT, SHAPING},
    {"-XX:+UseParallelGC", EXACT, SHAPING},
    {"-XX:+UseG1GC", EXACT, SHAPING},
    {"-XX:+UseZGC", EXACT, SHAPING},
    {"-XX:+UseShenandoahGC", EXACT, SHAPING},
    {"-XX:+UseEpsilonGC", EXACT, SHAPING},
    {"--add-opens", VALUED, SHAPING},
    {"--add-exports", VALUED, SHAPING},
    {"--add-reads", VALUED, SHAPING},
    {"--add-modules", VALUED, SHAPING},
    {"--module-path", VALUED, SHAPING},
    {"-p", VALUED, SHAPING},
    {"--enable-native-access", VALUED, SHAPING},
    {"--enable-preview", EXACT, SHAPING},
    {"-Xbootclasspath/a:", PREFIX, SHAPING},
    {"--patch-module", VALUED, NO_MAKER},
    {"--limit-modules", VALUED, NO_MAKER},
    {"--upgrade-module-path", VALUED, NO_MAKER},
    {"-Djdk.module.patch", PREFIX, NO_MAKER},
    {"-Djdk.module.limitmods", PREFIX, NO_MAKER},
    {"-Djdk.module.upgrade.path", PREFIX, NO_MAKER},
    {"-XX:Flags=", PREFIX, NO_MAKER},
    {"-XX:VMOptionsFile=", PREFIX, NO_MAKER},
    {"-Xshare:", PREFIX, OWN_SHARING},
    {"-XX:+UseSharedSpaces", EXACT, OWN_SHARING},
    {"-XX:-UseSharedSpaces", EXACT, OWN_SHARING},
    {"-XX:SharedArchiveFile=", PREFIX, OWN_SHARING},
    {"-XX:ArchiveClassesAtExit=", PREFIX, OWN_SHARING},
    {"-XX:+AutoCreateSharedArchive", EXACT, OWN_SHARING},
    {"-XX:SharedClassListFile=", PREFIX, OWN_SHARING},
    {"-XX:DumpLoadedClassList=", PREFIX, OWN_SHARING},
    {"-XX:AOTCache=", PREFIX, OWN_SHARING},
    {"-XX:AOTMode=", PREFIX, OWN_SHARING},
    {"-XX:AOTConfiguration=", PREFIX, OWN_SHARING},
    {"-cp", VALUED, CLASSPATH},
    {"-classpath", VALUED, CLASSPATH},
    {"--class-path", VALUED, CLASSPATH},
};

bool startsWith(const SString& text, const char* prefix) {
    SString start(prefix);
    return text.length() >= start.length() && text.compare(0, start.length(), start) == 0;
}

// The rule of `word`, or null; `joined` tells a VALUED option whose value
// is in the same word.
const Rule* ruleOf(const SString& word, bool& joined) {
    for (const Rule& rule : kRules) {
        joined = rule.form == VALUED && startsWith(word, rule.name) &&
                 word.length() > SString(rule.name).length() &&
                 word[SString(rule.name).length()] == '=';
        bool exact = word.compare(rule.name) == 0;
        if (exact || joined || (rule.form == PREFIX && startsWith(word, rule.name))) {
            return &rule;
        }
    }
    return nullptr;
}

// The words of an argument file or a variable: blanks separate, single or
// double quotes group, and with `comments` a "#" that begins a word ends
// the line.
std::vector<SString> splitWords(const SString& text, bool comments) {
    std::vector<SString> words;
    SString word;
    bool inWord = false;
    char quote = 0;
    for (unsigned int i = 0; i < text.length(); ++i) {
        char c = text[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else {
                word += c;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            if (inWord) {
                words.push_back(word);
            }
            word = SString();
            inWord = false;
        } else if (c == '#' && comments && !inWord) {
            while (i + 1 < text.length() && text[i + 1] != '\n') {
                ++i;
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

}  // namespace

const char* const ArchiveOptions::kOptionVariables[3] = {"JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS",
                                                         "_JAVA_OPTIONS"};

ArchiveOptions::ArchiveOptions(const std::vector<SString>& command, const SString& workingDirectory)
    : m_workingDirectory(workingDirectory) {
    m_classpath = PlatformImpl::getEnvironmentVariable("CLASSPATH");
    readWords(command, 1, COMMAND);
    for (const char* variable : kOptionVariables) {
        readWords(splitWords(PlatformImpl::getEnvironmentVariable(variable), false), 0, VARIABLE);
    }
}

bool ArchiveOptions::readWords(const std::vector<SString>& words, size_t first, Source source) {
    for (size_t i = first; i < words.size();) {
        const SString& word = words[i];
        // The JVM reads no argument file named in another one.
        if (source == COMMAND && word.length() > 1 && word[0] == '@') {
            if (!readArgumentFile(word.substr(1))) {
                return false;
            }
            ++i;
            continue;
        }
        if (word.compare("-jar") == 0) {
            if (i + 1 < words.size()) {
                m_classpath = words[i + 1];
            }
            return false;
        }
        if (source != VARIABLE && (word.empty() || word[0] != '-' || word.compare("-m") == 0 ||
                                   word.compare("--module") == 0)) {
            return false;
        }
        i += takeOption(words, i);
    }
    return true;
}

bool ArchiveOptions::readArgumentFile(const SString& name) {
    SString path = name[0] == '/' ? name : pathInDirectory(m_workingDirectory, name);
    SString text;
    if (!readWholeFile(path, text)) {
        m_noMaker = joinText("the argument file ", path, " cannot be read");
        return true;
    }
    return readWords(splitWords(text, true), 0, ARGUMENT_FILE);
}

size_t ArchiveOptions::takeOption(const std::vector<SString>& words, size_t index) {
    bool joined = false;
    const Rule* rule = ruleOf(words[index], joined);
    if (rule == nullptr) {
        return 1;
    }
    bool separateValue = rule->form == VALUED && !joined;
    SString value = separateValue && index + 1 < words.size() ? words[index + 1] : SString();
    switch (rule->kind) {
        case SHAPING:
            m_shaping.push_back(words[index]);
            if (separateValue) {
                m_shaping.push_back(value);
            }
            break;
        case NO_MAKER:
            m_noMaker = joinText("the command or the environment sets ", rule->name);
            break;
        case OWN_SHARING:
            if (m_ownSharing.empty()) {
                m_ownSharing = rule->name;
            }
            break;
        case CLASSPATH:
            m_classpath = joined ? words[index].substr(SString(rule->name).length() + 1) : value;
            break;
    }
    return separateValue ? 2 : 1;
}
