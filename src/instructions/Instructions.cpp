#include "instructions/Instructions.h"

#include "base/TextUtils.h"
#include "instructions/InstructionsException.h"
#include "instructions/VariableRef.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "platform/PlatformImpl.h"

namespace {

// Bounds of reference expansion: a variable whose value refers back to itself
// (possible through the "@@" escape) would otherwise expand for ever.
const int kMaxExpansionPasses = 1000;
const unsigned int kMaxExpandedLength = 64 * 1024;

// An exit status is one byte: the system keeps no more of it.
const long kHighestExitStatus = 255;

template <class... Parts>
SString join(const Parts&... parts) {
    SString text;
    (text += ... += parts);
    return text;
}

}  // namespace

const char* const Instructions::g_instructionsTag = "INSTRUCTIONS";

// Compared in this order.
const Instructions::CommandEntry Instructions::kCommands[] = {
    {"FIND_JVM", &Instructions::runFindJVM},
    {"GOTO", &Instructions::runGoto},
    {"ILAUNCH", &Instructions::runILaunch},
    {"INITIALIZE_UI", &Instructions::runInitializeUI},
    {"INSTALL_JVM", &Instructions::runInstallJVM},
    {"JMP0", &Instructions::runJmp0},
    {"LAUNCH", &Instructions::runLaunch},
    {"SET", &Instructions::runSet},
    {"VERIFY", &Instructions::runVerify},
    {"EXECUTE_LAUNCHER", &Instructions::runExecuteLauncher},
    {"EXIT", &Instructions::runExit},
};

Instructions::Instructions(TagFile& tagFile)
    : tagFile(tagFile), currentIndex(0), result(0), exited(false) {}

int Instructions::execute() {
    const StringDeque* instructions = program();
    const long count = instructions != nullptr ? instructions->count : 0;
    currentIndex = 0;
    result = 0;
    exited = false;
    while (!exited && currentIndex < count) {
        // A program may loop on purpose; a signal is the way out.
        PlatformImpl::throwIfInterrupted();
        executeInstruction(instructions->at(currentIndex));
        ++currentIndex;
    }
    return result;
}

long Instructions::gotoLabel(const SString& label) {
    SString target = join(":", label);
    evalExpr(target, "Invalid label specified.");
    if (target.length() == 1) {
        throwException(
            join("Label ", label, " resolved to a blank string. Labels cannot be blank."));
    }
    const StringDeque* instructions = program();
    const long count = instructions != nullptr ? instructions->count : 0;
    // The first instruction is never a jump target.
    for (long i = 1; i < count; ++i) {
        if (instructions->at(i).compare(target) == 0) {
            return i;
        }
    }
    throwException(join("Label not found (", label, ")"));
}

void Instructions::throwException(const SString& message) {
    throw InstructionsException(message, currentIndex + 1);
}

void Instructions::evalExpr(SString& expression, const SString& context) {
    if (expression.empty()) {
        throwException(join(context, " Empty expression."));
    }
    const SString written(expression);
    int passes = 0;
    while (expandPass(expression, context, written)) {
        if (++passes == kMaxExpansionPasses) {
            throwUnresolved(written);
        }
    }
}

long Instructions::evalLongExpr(const SString& expression, const SString& context) {
    SString expanded(expression);
    evalExpr(expanded, context);
    long value;
    if (!convertToLong(expanded, value)) {
        throwException(join(context, "Invalid numeric expression (", expanded, ")"));
    }
    return value;
}

short Instructions::evalShortExpr(const SString& expression, const SString& context) {
    SString expanded(expression);
    evalExpr(expanded, context);
    short value;
    if (!convertToShort(expanded, value)) {
        throwException(join(context, " Invalid numeric expression (", expanded, ")"));
    }
    return value;
}

bool Instructions::evalBoolExpr(const SString& expression, const SString& context) {
    long value = evalLongExpr(expression, context);
    if (value != 0 && value != 1) {
        throwException(join(context, " Invalid boolean value (", expression, ")"));
    }
    return value == 1;
}

void Instructions::evalStringExpr(SString& expression, const SString& context) {
    if (expression.empty()) {
        return;
    }
    bool quoted = expression.c_str()[0] == '"';
    unsigned int position = quoted ? 1 : 0;
    expression = parseStringArgument(expression, position, quoted);
    evalExpr(expression, context);
}

void Instructions::evalStringExpr(const SString& line, unsigned int& position, SString& result,
                                  const SString& context) {
    const unsigned int length = line.length();
    // After the last token the position may lie one past the end.
    unsigned int i = position < length ? position : length;
    while (i < length && isWhitespace(line[i])) {
        ++i;
    }
    const unsigned int start = i;
    if (i < length && line[i] == '"') {
        i = findClosingQuote(line, i + 1);
        if (i == SString::npos) {
            throw LauncherException(
                join("Expected ending quote in ", line.substr(start), ":  ", context));
        }
        position = i + 1;
        result = line.substr(start, position - start);
    } else {
        while (i < length && !isWhitespace(line[i])) {
            ++i;
        }
        result = line.substr(start, i - start);
        position = i < length ? i + 1 : length;
    }
    evalStringExpr(result, context);
}

const StringDeque* Instructions::program() const {
    return tagFile.getValue(g_instructionsTag);
}

void Instructions::executeInstruction(const SString& line) {
    unsigned int position = 0;
    const SString command = readArgument(line, position, "No command specified.");
    if (command[0] == ':' || command.compare("//") == 0) {
        return;
    }
    for (const CommandEntry& entry : kCommands) {
        if (command.compare(entry.name) == 0) {
            (this->*entry.run)(line, position);
            return;
        }
    }
    throwException(join("Invalid command (", command, "). "));
}

SString Instructions::readToken(const SString& line, unsigned int& position) {
    bool noToken = false;
    return getTokenFromString(line, position, noToken);
}

SString Instructions::readArgument(const SString& line, unsigned int& position,
                                   const SString& missingMessage) {
    SString token = readToken(line, position);
    if (token.empty()) {
        throwException(missingMessage);
    }
    return token;
}

void Instructions::readDisplayFlags(const char* command, const SString& line,
                                    unsigned int& position, bool& showUI,
                                    bool& showFailureMessage) {
    SString first = join("The first argument to ", command,
                         " should be a 1 if the UI should be displayed or a 0 if the UI should be "
                         "suppressed.");
    showUI = evalBoolExpr(readArgument(line, position, first), "");
    SString second = join("The second argument to ", command,
                          " should be a 1 if a find failure message should be displayed in a UI "
                          "or 0 if no message should be displayed.");
    showFailureMessage = evalBoolExpr(readArgument(line, position, second), "");
}

bool Instructions::expandPass(SString& expression, const SString& context, const SString& written) {
    bool replaced = false;
    unsigned int scan = 0;
    unsigned int open;
    while ((open = expression.find('@', scan)) != SString::npos) {
        unsigned int close = expression.find('@', open + 1);
        if (close == SString::npos) {
            throwException(join(context, " Invalid variable specification."));
        }
        if (close == open + 1) {
            // "@@" stands for one literal "@".
            expression.erase(close, 1);
        } else {
            VariableRef reference;
            reference.init(expression.substr(open + 1, close - open - 1), context);
            expression.replace(open, close - open + 1, reference.getStringValue());
            replaced = true;
            // Within one pass a value can keep bringing back its own reference.
            if (expression.length() > kMaxExpandedLength) {
                throwUnresolved(written);
            }
        }
        // Inside a value just inserted, or after the literal "@" left behind.
        scan = open + 1;
    }
    return replaced;
}

void Instructions::throwUnresolved(const SString& written) {
    throwException(join("Variable references in (", written, ") do not resolve."));
}

unsigned int Instructions::findClosingQuote(const SString& line, unsigned int position) {
    const unsigned int length = line.length();
    for (unsigned int i = position; i < length; ++i) {
        if (line[i] != '"') {
            continue;
        }
        if (i + 1 < length && line[i + 1] == '"') {
            // A doubled quote stands for one quote inside the string.
            ++i;
            continue;
        }
        return i;
    }
    return SString::npos;
}

void Instructions::runFindJVM(const SString& line, unsigned int& position) {
    bool showUI;
    bool showFailureMessage;
    readDisplayFlags("FIND_JVM", line, position, showUI, showFailureMessage);
    Launcher::findJVM(showUI, showFailureMessage);
}

void Instructions::runGoto(const SString& line, unsigned int& position) {
    SString label =
        readArgument(line, position, "The GOTO command requires a label as its only argument.");
    currentIndex = gotoLabel(label);
}

void Instructions::runILaunch(const SString& line, unsigned int& position) {
    long fileIndex = evalLongExpr(
        readArgument(line, position,
                     "The first argument to ILAUNCH should be the file index number of the jvm "
                     "file."),
        "");
    short seconds = evalShortExpr(
        readArgument(line, position,
                     "The second argument to ILAUNCH should be the number of seconds to display "
                     "the UI during the launch."),
        "");
    result = Launcher::ilaunch(fileIndex, seconds);
}

void Instructions::runInitializeUI(const SString&, unsigned int&) {
    Launcher::initializeUI();
}

void Instructions::runInstallJVM(const SString& line, unsigned int& position) {
    const char* const message = "The first argument to INSTALL_JVM should be a 0, 1, 2 or 3.";
    long option = evalLongExpr(readArgument(line, position, message), "");
    if (option < INSTALL_JVM_TEMP_QUIET || option > INSTALL_JVM_STORE) {
        throwException(message);
    }
    Launcher::installJVM(static_cast<InstallJVMOption>(option));
}

void Instructions::runJmp0(const SString& line, unsigned int& position) {
    // A missing value is evaluated as the empty expression and fails there.
    long value =
        evalLongExpr(readToken(line, position), "The second argument to JMP0 must be numeric.");
    SString label =
        readArgument(line, position, "JMP0 requires a jump label as its second argument.");
    if (value == 0) {
        currentIndex = gotoLabel(label);
    }
}

void Instructions::runLaunch(const SString& line, unsigned int& position) {
    SString fileName;
    evalStringExpr(line, position, fileName, "Invalid jvm file name specified in LAUNCH.");
    short seconds = evalShortExpr(
        readArgument(line, position,
                     "The second argument to LAUNCH should be the number of seconds to display "
                     "the UI during the launch."),
        "");
    result = Launcher::launch(fileName, seconds);
}

void Instructions::runSet(const SString& line, unsigned int& position) {
    SString statement = position < line.length() ? line.substr(position) : SString();
    trim(statement, whitespaceChars);
    unsigned int equals = statement.find('=');
    if (equals == SString::npos) {
        throwException("SET statement is missing =.");
    }
    SString name(statement, 0, equals);
    trim(name, whitespaceChars);
    VariableRef variable;
    variable.init(name, "Invalid variable specified on left hand side of SET statement.");
    SString value(statement, equals + 1);
    trim(value, whitespaceChars);
    evalStringExpr(value, "Invalid expression specified for SET command");
    variable.setValue(value, "Invalid value specified for SET command");
}

void Instructions::runVerify(const SString& line, unsigned int& position) {
    bool showUI;
    bool showFailureMessage;
    readDisplayFlags("VERIFY", line, position, showUI, showFailureMessage);
    long fileIndex = evalLongExpr(
        readArgument(line, position,
                     "The third argument to VERIFY should be the file index number of the jvm "
                     "file."),
        "");
    Launcher::verifyJVM(showUI, showFailureMessage, fileIndex);
}

void Instructions::runExecuteLauncher(const SString& line, unsigned int& position) {
    long index = evalLongExpr(
        readArgument(line, position,
                     "The first argument to EXECUTE_LAUNCHER should be the position of the "
                     "embedded launcher in the file index."),
        "");
    Launcher::executeEmbeddedLauncher(index);
}

void Instructions::runExit(const SString& line, unsigned int& position) {
    SString status = readArgument(
        line, position,
        "The EXIT command requires the exit status, a number from 0 to 255, as its argument.");
    evalExpr(status, "Invalid exit status specified in EXIT.");
    long value;
    if (!convertToLong(status, value) || value < 0 || value > kHighestExitStatus) {
        throwException(join("Invalid exit status (", status,
                            ") in EXIT. The exit status must be a number from 0 to 255."));
    }
    result = static_cast<int>(value);
    exited = true;
}
