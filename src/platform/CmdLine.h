#pragma once

// CmdLine: splits a command string into program arguments (the replacing
// start of executeProcess runs its command so, without a shell).
//
// Grammar (ws is blank, tab, line feed or carriage return):
//
//   line      := ws* ( argument ws* )*
//   argument  := quoted | word
//   quoted    := '"' ( escape | any character but '"' )* ( '"' | end of line )
//   word      := ( escape | quoted | any character but ws and '"' )+
//   escape    := '\' character        (not in the first argument)
//
// - The quotes of a quoted part are dropped. An escape \" gives a double
//   quote that neither opens nor closes quoting; a backslash before any other
//   character is kept together with that character: \b stays \b, \\ stays
//   \\, and \ followed by a blank keeps the blank inside the argument. In
//   the first argument (the program) a backslash is an ordinary character.
// - An argument that begins with a quote ends at its closing quote: "ab"cd
//   gives the two arguments ab and cd. A quote inside a word joins the quoted
//   stretch to the word: x"y z"w gives the one argument xy zw.
// - Nothing is invalid: an unterminated quote runs to the end of the line, a
//   backslash at the very end of the line is dropped, and an empty argument
//   ("") is not kept, so the argument after it still counts as the first.
//
// Example: java -cp "a b" Main gives java, -cp, a b, Main.

#include "base/SString.h"
#include "base/StringDeque.h"

class CmdLine {
  public:
    CmdLine();
    ~CmdLine();

    // Splits `line` into its arguments, replacing those of an earlier call.
    // Always succeeds.
    bool parse(const SString& line);

    // Reads one argument that begins at or after `start` into `argument`;
    // `first` says whether it is the program name (backslashes ordinary).
    // `next` receives the position just after the argument, or SString::npos
    // when the line is used up. Always returns true.
    bool getNextArg(const SString& line, unsigned int start, bool first, SString& argument,
                    unsigned int& next);

    int getOptionCount() const;
    // Argument `index` (from 0), or null when the index is negative or not
    // below the count. The text belongs to this CmdLine and lives as long as
    // it does; it is not to be written through (char* only because exec
    // takes its argument vector so).
    char* getOption(int index) const;

  private:
    int m_count;
    StringDeque m_options;
};
