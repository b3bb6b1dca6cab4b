#pragma once

// A finished launch command: the shell text of the packager's template with
// the values that the launcher put into it, and the argument vector that runs
// it.
//
// The template is the only code. Every value that the launcher computes or
// takes from outside the template (a JVM home found on disk, a temporary
// path, the launcher's own path, a side-file line, an environment value) is
// put into the text as a mark, so that no macro pass and no shell ever reads
// it as text: value() marks a value that stays one piece, splitValue() one
// that is split at blanks (space, tab, line feed) where it stands outside
// quotes, like an unquoted shell variable, but never globbed. An empty value
// outside quotes leaves nothing, inside quotes an empty piece.
//
// The finished text then runs in one of two ways, with the same argument
// vector for the program:
// - A plain command (words made of ordinary characters, single and double
//   quotes, backslash escapes and marks, the first one no shell keyword or
//   built-in and no assignment) is split by the launcher itself and started
//   directly, without a shell.
// - Anything else (redirections, ";", "$VAR", "$(...)", globs, ...) runs as
//   /bin/sh -c SCRIPT cvlaunch VALUES... ARGUMENTS..., where each word holding
//   a mark is passed as a positional parameter: the shell never parses a value.
// Extra arguments (the pass-through arguments) are appended as words of their
// own, directly or as "$@".
//
// Example: the text  "<home>/bin/java" -cp <a.jar>:<b.jar> Main  with the
// marks for /opt/my jdk, /tmp/x$(y)/a.jar and b.jar, and the extra argument
// "it's", gives the argument vector
//   /opt/my jdk/bin/java | -cp | /tmp/x$(y)/a.jar:b.jar | Main | it's
// and the same text followed by  2>&1  gives /bin/sh with the same values,
// and the same vector for java.

#include "base/SString.h"
#include "base/StringDeque.h"

class CommandText {
  public:
    // The mark of a value that stays one piece.
    static SString value(const SString& value);
    // The mark of a value that is split at blanks where it stands unquoted.
    static SString splitValue(const SString& value);
    // `text` with every mark replaced by its value, for the log and for texts
    // that reach no command (an environment variable).
    static SString plain(const SString& text);
    // The words that a shell would make of `text` if it evaluated nothing:
    // blanks separate, quotes group, a backslash takes the next character
    // literally; marks are pieces of the word they stand in. Each word is
    // returned as the mark of one value.
    static SString literalWords(const SString& text);

    CommandText(const SString& text, const StringDeque* extraArguments);

    // The program and its arguments, ready for exec.
    const StringDeque& arguments() const { return m_arguments; }
    // True when the arguments run the program itself, false for /bin/sh.
    bool runsDirectly() const { return m_direct; }
    // The text with the values written in and each extra argument appended
    // in double quotes, for the log.
    SString display() const;

  private:
    // Fills m_arguments for the plain command; false when the text is none.
    bool splitPlainCommand();
    void buildShellCommand();

    SString m_text;
    const StringDeque* m_extraArguments;
    StringDeque m_arguments;
    bool m_direct;
};
