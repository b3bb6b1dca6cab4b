#pragma once

// The instruction language: the small program that drives a launch.
//
// The program is the list of values of the tag "INSTRUCTIONS" of a tag file,
// normally a value block with one instruction per value. Instructions are
// numbered from 0 by their position; error reports give the number plus 1.
// An instruction is a line of tokens separated by space, tab, line feed,
// vertical tab, form feed or carriage return; the first token is the command.
// Commands and labels are case-sensitive; tokens after the last argument are
// ignored.
//
//   FIND_JVM         showUI(bool) showFailureMessage(bool)
//   VERIFY           showUI(bool) showFailureMessage(bool) jvmFileIndex(long)
//   LAUNCH           jvmFileName(string) seconds(short)     result := launch
//   ILAUNCH          jvmFileIndex(long) seconds(short)      result := ilaunch
//   INSTALL_JVM      option(long: 0, 1, 2 or 3)
//   INITIALIZE_UI
//   EXECUTE_LAUNCHER index(long)
//   EXIT             status(long: 0 to 255)                 result := status, the program ends
//   SET              variable = value                       the rest of the line
//   GOTO             label
//   JMP0             value(long) label                      jump when value is 0
//   // anything                                             comment ("//" alone)
//   :label                                                  label line
//
// Arguments are expressions: text in which "@" + variable + "@" (N1..N5,
// S1..S10, either case) stands for the variable's value and "@@" for one "@".
// References in variable values are expanded too, but after a replacement
// the scan goes on from the second character of the inserted value: a value
// that itself begins with a reference, such as "@N1@", leaves its first "@"
// to pair with a later one (usually "Invalid variable specification.").
// A long or short argument must then read as a decimal number ("%ld", "%hd";
// text after it is ignored); a bool argument as 0 or 1. The file name of
// LAUNCH may be written in double quotes to hold blanks, with "" for a quote
// inside. A SET value is the text up to its first blank, or a double-quoted
// string; a SET with nothing after "=" stores the empty string.
//
// GOTO and JMP0 continue after the first instruction, from the second on, that
// equals ":" + label after expansion of the label ("GOTO step@N1@"). The first
// instruction is never a jump target.
//
// Example:
//     INSTRUCTIONS:
//       FIND_JVM 1 1
//       JMP0 @N1@ nojvm
//       LAUNCH @S2@ 5
//       GOTO end
//     :nojvm
//       INSTALL_JVM 1
//     :end
//     /:
//
// A program is invalid, and stops with an InstructionsException carrying the
// number of the failing instruction, if an instruction is empty, its command
// is unknown ("Invalid command (FOO). "), an argument is missing or does not
// evaluate, the status of EXIT is not a number from 0 to 255, a label is
// blank or not found, a SET lacks "=", or the references of an expression do
// not settle (after 1,000 passes, or once the text has grown past 64 KiB:
// "Variable references in (...) do not resolve."). Errors of
// variable references themselves (unknown type, invalid number), of a value
// stored into a numeric variable, and of an unterminated quoted LAUNCH file
// name are plain LauncherExceptions without instruction number. Variables set
// before the error keep their values. A program may loop without end; a
// pending SIGINT or SIGTERM stops it before the next instruction.

#include "base/SString.h"
#include "tagfile/TagFile.h"

class Instructions {
  public:
    // "INSTRUCTIONS", the tag whose values are the program.
    static const char* const g_instructionsTag;

    // tagFile is not owned and must outlive this object.
    explicit Instructions(TagFile& tagFile);

    // Runs the program from its first instruction to its end or its EXIT;
    // returns the status of the EXIT, or else the result of the last LAUNCH
    // or ILAUNCH that ran, or 0. Throws InstructionsException for
    // the errors of the program, and passes the LauncherExceptions of variable
    // references and of the Launcher operations unchanged.
    int execute();
    // The index of the first instruction from index 1 on that equals ":" +
    // label with its references expanded.
    long gotoLabel(const SString& label);
    // Throws InstructionsException with the message and currentIndex + 1.
    [[noreturn]] void throwException(const SString& message);

    // Expression evaluators; context is put in front of their error messages.

    // Expands the variable references of expression in place.
    void evalExpr(SString& expression, const SString& context);
    long evalLongExpr(const SString& expression, const SString& context);
    short evalShortExpr(const SString& expression, const SString& context);
    // A long expression that must be 0 (false) or 1 (true).
    bool evalBoolExpr(const SString& expression, const SString& context);
    // Replaces expression by its first argument (a double-quoted string, or
    // the text up to the first whitespace) with its references expanded. An
    // empty expression stays empty.
    void evalStringExpr(SString& expression, const SString& context);
    // Copies one argument (unquoted up to whitespace, or double-quoted) of
    // line from position into result and evaluates it as above; position ends
    // after the whitespace or closing quote that ended the argument. Throws
    // LauncherException "Expected ending quote in ..." when the line ends
    // inside the quotes.
    void evalStringExpr(const SString& line, unsigned int& position, SString& result,
                        const SString& context);

    TagFile& tagFile;
    long currentIndex;  // the instruction being executed

  private:
    using Command = void (Instructions::*)(const SString& line, unsigned int& position);
    struct CommandEntry {
        const char* name;
        Command run;
    };
    static const CommandEntry kCommands[];

    const StringDeque* program() const;
    void executeInstruction(const SString& line);
    // The next token of line; empty when there is none.
    SString readToken(const SString& line, unsigned int& position);
    // The next token of line; throws missingMessage when there is none.
    SString readArgument(const SString& line, unsigned int& position,
                         const SString& missingMessage);
    // One expansion pass over expression; true when it replaced a reference.
    bool expandPass(SString& expression, const SString& context, const SString& written);
    [[noreturn]] void throwUnresolved(const SString& written);
    // The position of the quote that closes a quoted string whose text starts
    // at position, or SString::npos.
    static unsigned int findClosingQuote(const SString& line, unsigned int position);
    void readDisplayFlags(const char* command, const SString& line, unsigned int& position,
                          bool& showUI, bool& showFailureMessage);

    void runFindJVM(const SString& line, unsigned int& position);
    void runGoto(const SString& line, unsigned int& position);
    void runILaunch(const SString& line, unsigned int& position);
    void runInitializeUI(const SString& line, unsigned int& position);
    void runInstallJVM(const SString& line, unsigned int& position);
    void runJmp0(const SString& line, unsigned int& position);
    void runLaunch(const SString& line, unsigned int& position);
    void runSet(const SString& line, unsigned int& position);
    void runVerify(const SString& line, unsigned int& position);
    void runExecuteLauncher(const SString& line, unsigned int& position);
    void runExit(const SString& line, unsigned int& position);

    int result;   // of the last LAUNCH or ILAUNCH, or of EXIT
    bool exited;  // an EXIT ran: no further instruction runs
};
