#include "cvpack/PayloadChecks.h"

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "base/ScopedFile.h"
#include "base/TextUtils.h"
#include "instructions/Instructions.h"
#include "jvm/JVMFile.h"
#include "jvm/StringPair.h"
#include "launcher/LauncherException.h"
#include "launchscript/LaunchScript.h"
#include "launchscript/MacroHandler.h"
#include "payload/FileIndexEntry.h"
#include "tagfile/TagFile.h"

namespace {

// The trimmed lines of a file, numbered from 1 by their index + 1.
std::vector<std::string> linesOf(const SString& path) {
    std::vector<std::string> lines;
    ScopedFile file(fopen(path.c_str(), "r"));
    while (file && !feof(file.get()) && !ferror(file.get())) {
        SString line;
        readLineFromStream(file.get(), line);
        trim(line, whitespaceChars);
        lines.push_back(line.c_str());
    }
    return lines;
}

std::string at(const SString& path, size_t line) {
    return std::string(path.c_str()) + ":" + std::to_string(line) + ": ";
}

[[noreturn]] void refuse(const SString& path, size_t line, const std::string& message) {
    throw LauncherException((at(path, line) + message).c_str());
}

void warn(const SString& path, size_t line, const std::string& message) {
    fprintf(stderr, "cvpack: warning: %s%s\n", at(path, line).c_str(), message.c_str());
}

// The line of the tag `name` ("NAME:" at its start), or 0.
size_t tagLine(const std::vector<std::string>& lines, const std::string& name) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].compare(0, name.size() + 1, name + ":") == 0) {
            return i + 1;
        }
    }
    return 0;
}

// A quoted value ends at its closing quote; the launcher ignores what follows.
void warnAboutTextAfterQuotes(const SString& path, const std::vector<std::string>& lines) {
    for (size_t i = 0; i < lines.size(); ++i) {
        size_t colon = lines[i].find(':');
        size_t start =
            colon == std::string::npos ? 0 : lines[i].find_first_not_of(" \t", colon + 1);
        if (start == std::string::npos || lines[i][start] != '"') {
            continue;
        }
        size_t end = start + 1;
        while (end < lines[i].size() &&
               (lines[i][end] != '"' || (end + 1 < lines[i].size() && lines[i][end + 1] == '"'))) {
            end += lines[i][end] == '"' ? 2 : 1;
        }
        if (end + 1 < lines[i].size()) {
            warn(path, i + 1,
                 "the text after the closing quote is ignored: \"" + lines[i].substr(end + 1) +
                     "\" (double the quotes inside a quoted value, or quote the whole value)");
        }
    }
}

// ---- Instruction programs ----------------------------------------------------

// The words of an instruction; a word that begins with a double quote runs to
// its closing one (LAUNCH's file name).
std::vector<std::string> wordsOf(const std::string& instruction) {
    std::vector<std::string> words;
    size_t i = 0;
    while ((i = instruction.find_first_not_of(" \t", i)) != std::string::npos) {
        size_t end = instruction[i] == '"' ? instruction.find('"', i + 1)
                                           : instruction.find_first_of(" \t", i);
        end = end == std::string::npos ? instruction.size() : end + (instruction[i] == '"');
        words.push_back(instruction.substr(i, end - i));
        i = end;
    }
    return words;
}

struct Command {
    const char* name;
    size_t arguments;
    int labelArgument;  // the position of a label among the words, or 0
};

const Command kCommands[] = {
    {"FIND_JVM", 2, 0},    {"VERIFY", 3, 0},        {"LAUNCH", 2, 0},           {"ILAUNCH", 2, 0},
    {"INSTALL_JVM", 1, 0}, {"INITIALIZE_UI", 0, 0}, {"EXECUTE_LAUNCHER", 1, 0}, {"EXIT", 1, 0},
    {"GOTO", 1, 1},        {"JMP0", 2, 2},
};

// The lines of the values of INSTRUCTIONS, in their order, as TagFile reads
// them: the block after the tag line, empty lines skipped, up to "/:".
std::vector<size_t> instructionLines(const std::vector<std::string>& lines) {
    std::vector<size_t> numbers;
    size_t tag = tagLine(lines, Instructions::g_instructionsTag);
    for (size_t i = tag; tag > 0 && i < lines.size() && lines[i] != "/:"; ++i) {
        if (!lines[i].empty()) {
            numbers.push_back(i + 1);
        }
    }
    return numbers;
}

void checkInstruction(const SString& path, size_t line, const std::vector<std::string>& words,
                      const std::set<std::string>& labels) {
    const std::string& name = words[0];
    if (name[0] == ':' || name.compare(0, 2, "//") == 0) {
        return;
    }
    if (name == "SET") {
        if (words.size() < 2 || words[1].find('=') == std::string::npos) {
            if (words.size() < 3 || words[2][0] != '=') {
                refuse(path, line, "SET needs a variable, \"=\" and a value");
            }
        }
        return;
    }
    for (const Command& command : kCommands) {
        if (name != command.name) {
            continue;
        }
        if (words.size() != command.arguments + 1) {
            refuse(path, line,
                   name + " takes " + std::to_string(command.arguments) + " argument" +
                       (command.arguments == 1 ? "" : "s") + ", not " +
                       std::to_string(words.size() - 1));
        }
        if (command.labelArgument > 0) {
            const std::string& label = words[command.labelArgument];
            if (label.find('@') == std::string::npos && labels.count(label) == 0) {
                refuse(path, line,
                       name + " jumps to the label " + label + ", which no \":" + label +
                           "\" line defines");
            }
        }
        if (name == "EXIT" && words[1].find('@') == std::string::npos) {
            char* end = nullptr;
            long status = strtol(words[1].c_str(), &end, 10);
            if (*end != '\0' || status < 0 || status > 255) {
                refuse(path, line, "the status of EXIT must be a number from 0 to 255");
            }
        }
        return;
    }
    refuse(path, line, "unknown instruction " + name);
}

void checkInstructions(const SString& path, const TagFile& tags,
                       const std::vector<std::string>& lines) {
    unsigned int count = tags.getTagValueCount(Instructions::g_instructionsTag);
    std::vector<size_t> numbers = instructionLines(lines);
    std::vector<std::vector<std::string>> program;
    std::set<std::string> labels;
    for (unsigned int i = 0; i < count; ++i) {
        program.push_back(wordsOf(tags.getTagValue(Instructions::g_instructionsTag, i).c_str()));
        if (!program.back().empty() && program.back()[0][0] == ':' && i > 0) {
            labels.insert(program.back()[0].substr(1));
        }
    }
    for (size_t i = 0; i < program.size(); ++i) {
        size_t line = numbers.size() == program.size() ? numbers[i] : 0;
        if (!program[i].empty()) {
            checkInstruction(path, line, program[i], labels);
        }
    }
}

// ---- Launch scripts --------------------------------------------------------------

// Reads each "%" function of a text as the launcher would, without calling
// it: the name and the argument list must be ones the launcher knows.
class FunctionChecker : public MacroHandler {
  public:
    explicit FunctionChecker(const LaunchScript& script) : m_script(script) {}

    void processMacro(SString& text, char, unsigned int start, unsigned int& end) const override {
        SString name = text.substr(start + 1, end - start - 1);
        unsigned int position = end + 1;
        StringDeque arguments;
        m_script.getArguments(text, position, arguments);
        SString error =
            LaunchScript::functionError(name, static_cast<unsigned int>(arguments.count));
        if (!error.empty()) {
            throw LauncherException(joinText("Launch script error: ", error));
        }
        text.erase(start, position - start);
    }

  private:
    const LaunchScript& m_script;
};

void checkLaunchScript(const SString& path, const TagFile& tags,
                       const std::vector<std::string>& lines) {
    SString command = tags.getTagValue("COMMAND", 0);
    if (command.find_first_not_of(whitespaceChars) == SString::npos) {
        refuse(path, tagLine(lines, "COMMAND"),
               "Launch script error: The launch script has no COMMAND.");
    }
    LaunchScript script(tags, true);
    FunctionChecker checker(script);
    for (const char* key : {"COMMAND", "ARCHIVE"}) {
        try {
            checker.resolve(tags.getTagValue(key, 0), '%');
        } catch (const LauncherException& e) {
            refuse(path, tagLine(lines, key), e.message.c_str());
        }
    }
    if (!tags.getBoolTagValue("DISPLAY_CONSOLE", false)) {
        warn(path, tagLine(lines, "COMMAND"),
             "the program's output is captured (DISPLAY_CONSOLE is not 1): it reaches only the "
             "log of a run with -cv:log");
    }
}

// ---- JVM description files ----------------------------------------------------

void checkJVMFile(const SString& path, const TagFile& tags, const std::vector<std::string>& lines) {
    for (const char* key : {kJvmExeTagName, kJvmPropertiesTagName}) {
        if (tags.getTagValueCount(key) == 0) {
            warn(path, 1, std::string("no ") + key + ": the launcher verifies no JVM with it");
        }
    }
    size_t line = tagLine(lines, kJvmPropertiesTagName);
    for (unsigned int i = 0; i < tags.getTagValueCount(kJvmPropertiesTagName); ++i) {
        SString entry = tags.getTagValue(kJvmPropertiesTagName, i);
        StringPair pair;
        if (StringPair::parse(entry, pair) == PropertyEntryStatus::InvalidVersion) {
            refuse(path, line, std::string("malformed version range: ") + entry.c_str());
        }
    }
}

}  // namespace

void checkPayloadFile(const SString& path, long type) {
    if (type != FILE_INSTRUCTIONS && type != FILE_JVM && type != FILE_LAUNCH_SCRIPT) {
        return;
    }
    TagFile tags(path);
    std::vector<std::string> lines = linesOf(path);
    warnAboutTextAfterQuotes(path, lines);
    if (type == FILE_INSTRUCTIONS) {
        checkInstructions(path, tags, lines);
    } else if (type == FILE_LAUNCH_SCRIPT) {
        checkLaunchScript(path, tags, lines);
    } else {
        checkJVMFile(path, tags, lines);
    }
}

long payloadTypeOf(const SString& path) {
    TagFile tags(path);
    if (tags.getTagValueCount(Instructions::g_instructionsTag) > 0) {
        return FILE_INSTRUCTIONS;
    }
    return tags.getTagValueCount("COMMAND") > 0 ? FILE_LAUNCH_SCRIPT : FILE_JVM;
}
