#pragma once

// The files that application mode (cvpack --main-jar) generates for a jar:
//
//   program.tag  the instruction program: find a JVM that java.jvm accepts
//                and launch the application with it, or show the failure
//                message and end with status 1; a launcher that carries its
//                runtime (--runtime, --jvm-installer) launches with that
//                runtime, from the user's runtime store, when no JVM fits
//                (with --prefer-runtime, first, searching only when it
//                cannot be installed)
//   launch.tag   the launch script, titled only with --title: java with the class-data archive
//   (unless
//                --no-class-data-archive), the class path, the side files'
//                properties and arguments, the --java-option options and the
//                main class, run in the caller's directory with its output
//                on the console
//   java.jvm     the JVM description file: the --java range (with --runtime,
//                by default the runtime's major version and newer) as
//                conditions on java.specification.version and as it was given
//                (JAVA_RANGE, for the message when no JVM fits),
//                USUAL_LOCATIONS (JAVA_HOME and the launcher's list of JDK
//                locations), and SEARCH_ALL with --search-disk
//
// and the class path archives that go with them: the main jar and the
// --class-path jars, with the jars that their manifests name
// (ManifestClassPath) unless --no-manifest-class-path says otherwise. A jar
// whose Class-Path is dropped is embedded as a copy, written beside the
// generated files in classpath/.

#include <vector>

#include "base/SString.h"
#include "cvpack/ManifestClassPath.h"
#include "cvpack/PackerOptions.h"

class ApplicationConfig {
  public:
    struct File {
        long type;
        const char* name;
        SString text;
    };

    // Reads the main class from the main jar's manifest unless the options
    // name it, and follows the jars' Class-Path headers. Throws
    // LauncherException: a malformed --java range, a jar without Main-Class,
    // a main class that is not a Java class name, a manifest that cannot be
    // read, a value that no tag file can hold (a line break), or a Java
    // option or main class that the launch command cannot carry. Warns on
    // standard error when no jar holds the main class.
    // `runtimeVersion` is the JAVA_VERSION of the runtime that --runtime
    // links (empty without): --java defaults to its major version and newer,
    // and a range that leaves it out throws.
    explicit ApplicationConfig(const ApplicationOptions& options,
                               const SString& runtimeVersion = SString());

    // The application's name, for messages.
    const SString& name() const { return m_name; }

    const std::vector<File>& files() const { return m_files; }
    // Writes the files, and the jars whose manifest is rewritten, into
    // directory, which is made when it is missing. Throws LauncherException.
    void write(const SString& directory) const;
    // The files to embed: the generated ones as written into directory,
    // then the jars, each under a name of its own (the launcher extracts
    // them all into one directory, so a second "util.jar" is "2-util.jar").
    std::vector<PayloadFile> payload(const SString& directory) const;
    // The jars as found, which packing reads (and must not replace).
    std::vector<SString> inputs() const;
    // The cvpack command that packs the files written into directory with
    // the jars and everything else that `options` give (their files with
    // their modifiers, --stub, --purpose, --no-verify-archive, and -o or the
    // main jar's name without ".jar"), as shell text.
    SString packCommand(const SString& directory, const PackerOptions& options) const;

    // The JVM_PROPERTIES entries for a --java range (JavaRange.h): "17"
    // (that major version), "17+" (it or a newer one), "11-21" (from the
    // first to the second); empty: any version. Throws LauncherException for
    // any other text.
    static std::vector<SString> versionProperties(const SString& range);
    // `text` as one word of shell text: as it is when it holds only
    // characters that no shell treats specially, else in single quotes.
    static SString shellWord(const SString& text);

  private:
    static SString mainClassOf(const ApplicationOptions& options);
    SString instructionProgram() const;
    SString launchScript(const SString& mainClass) const;
    SString jvmDescription() const;

    const ApplicationOptions& m_options;
    SString m_name;
    SString m_javaRange;  // --java, or its default
    std::vector<ManifestClassPath::Jar> m_jars;
    std::vector<File> m_files;
};
