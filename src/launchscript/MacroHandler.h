#pragma once

// The macro language of command templates.
//
// A macro is a name between two delimiter characters. The delimiter says what
// the name stands for:
//   %NAME%(args)  a function of the launch script         (LaunchScript)
//   @NAME@        a tag of the JVM description file       (JVMFile)
//   #NAME#        an environment variable                 (LaunchScript)
//
// For one delimiter d, a text is read as
//   text   := { other | macro | d d }
//   macro  := d name d
//   name   := one or more characters up to the next d; the first one may be d
//
// Scanning: a d that has at least two characters after it opens a macro; the
// first d from the second character after it on closes it. The macro is
// replaced by its value and scanning resumes where the macro began, so macros
// inside a value are expanded as well. When the scan is done, every remaining
// pair d d becomes one d.
//
// Examples, for "#" with USER=ann:
//   "Hello #USER#"   -> "Hello ann"
//   "a ## b"         -> "a # b"
//   "50## #USER#"    -> "50USER#": the second # of the pair opens a macro
//                       named "# " (not set, so empty), and the last # is
//                       left alone
//
// Not a macro, left as written: a d among the last two characters of the text,
// and a d that no later d closes.
//
// Invalid, each throws MacroHandler::EndlessExpansion:
//   an expansion that does not end (a value that brings back its own macro):
//       resolve stops after 10,000 replacements, or once the steps of one
//       resolve, those of resolves nested in it included, have handled 64 MiB
//       of text in all: "Macro expansion does not end."
//   a text that grows past 1 MiB: "Macro expansion grows past 1 MiB."

#include "base/SString.h"
#include "launcher/LauncherException.h"

class MacroHandler {
  public:
    // An expansion out of its bounds (see above); a LauncherException, so
    // callers that do not care catch it as such.
    class EndlessExpansion : public LauncherException {
      public:
        // "Macro expansion does not end."
        EndlessExpansion();
        explicit EndlessExpansion(const char* message);
    };

    virtual ~MacroHandler();

    // Throws EndlessExpansion "Macro expansion grows past 1 MiB." for a text
    // of more than 1 MiB: for a function whose value would be one.
    static void checkLength(unsigned long long length);

    // The text with every macro of `delimiter` replaced by processMacro and the
    // doubled delimiters made single. Throws EndlessExpansion (see above) and
    // whatever processMacro throws.
    SString resolve(const SString& text, char delimiter) const;

    // Replaces, inside `text`, the macro whose opening delimiter is at `start`
    // and whose closing delimiter is at `end` by its value. It must change the
    // text at `start` (replace or remove the macro): scanning resumes there.
    virtual void processMacro(SString& text, char delimiter, unsigned int start,
                              unsigned int& end) const = 0;
};
