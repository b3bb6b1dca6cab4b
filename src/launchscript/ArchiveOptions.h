#pragma once

// What in a Java command and in the JVM's option variables of the
// environment (JAVA_TOOL_OPTIONS, JDK_JAVA_OPTIONS, _JAVA_OPTIONS) decides
// whether a class-data archive can serve a launch.
//
// The command's words are read from the second on, up to the main class,
// "-jar FILE" or "-m"; an "@FILE" word is read as the JVM reads an argument
// file (blanks separate, quotes group, "#" starts a comment line). The
// variables are split at blanks. Each option falls in one of three kinds:
//   shaping: options the archive must be made with, since a JVM maps it only
//     with the same ones: object alignment, compressed oops and class
//     pointers, the heap limit, the collector, module options
//     (--add-opens=java.base/java.lang=ALL-UNNAMED, --module-path DIR, ...),
//     --enable-preview, -Xbootclasspath/a:;
//   no maker: options with which no archive can be made or trusted:
//     --patch-module, --limit-modules, --upgrade-module-path and their
//     properties, -XX:Flags=, -XX:VMOptionsFile=;
//   own sharing: options with which the command sets class sharing itself
//     (-Xshare:off, -XX:SharedArchiveFile=, -XX:AOTCache=, ...).
// The class path is the value of the last -cp, -classpath or --class-path,
// or the FILE of -jar, or else the CLASSPATH variable, as the JVM takes it.

#include <cstddef>
#include <vector>

#include "base/SString.h"

class ArchiveOptions {
  public:
    // The JVM's option variables of the environment.
    static const char* const kOptionVariables[3];

    // Reads `command` (the program and its arguments) and the environment;
    // relative argument files are taken from `workingDirectory`.
    ArchiveOptions(const std::vector<SString>& command, const SString& workingDirectory);

    // The first option with which the command sets class sharing itself, or "".
    const SString& ownSharing() const { return m_ownSharing; }
    // Why no archive can be made for this command, or "".
    const SString& noMaker() const { return m_noMaker; }
    // The shaping options, in their order, the variables' after the command's.
    const std::vector<SString>& shaping() const { return m_shaping; }
    // The class path; "" when the command gives none.
    const SString& classpath() const { return m_classpath; }

  private:
    // Where words come from: the command and its argument files end at the
    // main class, a variable holds options only.
    enum Source { COMMAND, ARGUMENT_FILE, VARIABLE };
    // Reads the words of one source from `first` on. False when the JVM's
    // options ended.
    bool readWords(const std::vector<SString>& words, size_t first, Source source);
    bool readArgumentFile(const SString& name);
    // Takes an option and, where it has one, its value; returns how many
    // words it took.
    size_t takeOption(const std::vector<SString>& words, size_t index);

    SString m_workingDirectory;
    SString m_ownSharing;
    SString m_noMaker;
    std::vector<SString> m_shaping;
    SString m_classpath;
};
