#include "cvpack/PackerOptions.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "base/TextUtils.h"
#include "cvinstall/RuntimeImage.h"
#include "payload/FileIndexEntry.h"

namespace {

enum OptionKind {
    OPT_FILE,  // adds a file of OptionDefinition::fileType
    OPT_FILE_SPEC,
    OPT_ID,
    OPT_NAME,
    OPT_COMPRESSED,
    OPT_NO_VERIFY_ARCHIVE,
    OPT_STUB,
    OPT_PURPOSE,
    OPT_OUTPUT,
    OPT_LIST,
    OPT_HELP,
    OPT_VERSION,
    OPT_CHECK,  // read by main before the other options, unknown among them
    // Application mode; OPT_MAIN_JAR first, the options that need it after it.
    OPT_MAIN_JAR,
    OPT_CLASS_PATH,
    OPT_MAIN_CLASS,
    OPT_JAVA,
    OPT_JAVA_OPTION,
    OPT_SEARCH_DISK,
    OPT_NO_CLASS_DATA_ARCHIVE,
    OPT_NO_MANIFEST_CLASS_PATH,
    OPT_TITLE,
    OPT_PRINT_CONFIG,
    OPT_RUNTIME,
    OPT_RUNTIME_MODULES,
    OPT_RUNTIME_COMPRESSION,
    OPT_PREFER_RUNTIME,
};

// The parts of the usage text, in the order in which it shows them.
enum HelpSection {
    HELP_APPLICATION,
    HELP_FILES,
    HELP_MODIFIERS,
    HELP_OTHER,
};

struct OptionDefinition {
    const char* name;
    OptionKind kind;
    bool takesValue;
    long fileType;
    HelpSection section;
    // The option as the usage text shows it, with its value; null for one
    // shown on the row after it ("-o" with "--output").
    const char* usage;
    // Its description; each line after the first is indented like the first.
    const char* help;
};

// The names double as the type names of --file and of the listing, so they
// are in type order. A name given twice is parsed by its first row; the
// second only describes what it means elsewhere.
const OptionDefinition kOptions[] = {
    {"--instructions", OPT_FILE, true, FILE_INSTRUCTIONS, HELP_FILES, "--instructions FILE",
     "the instruction program (tag file)"},
    {"--jvm", OPT_FILE, true, FILE_JVM, HELP_FILES, "--jvm FILE",
     "a JVM description file (tag file)"},
    {"--launch-script", OPT_FILE, true, FILE_LAUNCH_SCRIPT, HELP_FILES, "--launch-script FILE",
     "the launch script (tag file)"},
    {"--classpath-archive", OPT_FILE, true, FILE_CLASSPATH_ARCHIVE, HELP_FILES,
     "--classpath-archive FILE", "an archive for the class path of the program"},
    {"--jvm-installer", OPT_FILE, true, FILE_JVM_INSTALLER, HELP_FILES, "--jvm-installer FILE",
     "a program that installs a bundled JVM; with\n"
     "--main-jar, the launcher runs it when no\n"
     "installed Java fits"},
    {"--verify-archive", OPT_FILE, true, FILE_VERIFY_ARCHIVE, HELP_FILES, "--verify-archive FILE",
     "the verification archive (default: verify.jar\n"
     "beside cvpack, or in ../share/cvlaunch)"},
    {"--app-archive", OPT_FILE, true, FILE_APPLICATION_ARCHIVE, HELP_FILES, "--app-archive FILE",
     "the application archive"},
    {"--embedded-launcher", OPT_FILE, true, FILE_EMBEDDED_LAUNCHER, HELP_FILES,
     "--embedded-launcher FILE", "another launcher, started in place of this one"},
    {"--file", OPT_FILE_SPEC, true, -1, HELP_FILES, "--file TYPE:PATH[:ID[:NAME]]",
     "any file; TYPE is 0 to 7 or one of the names\n"
     "above without \"--\" (PATH must not hold \":\")"},
    {"--id", OPT_ID, true, -1, HELP_MODIFIERS, "--id N", "file id (default: its position, from 0)"},
    {"--name", OPT_NAME, true, -1, HELP_MODIFIERS, "--name NAME",
     "entry name (default: the file's base name)"},
    {"--compressed", OPT_COMPRESSED, true, -1, HELP_MODIFIERS, "--compressed FILES:BYTES",
     "an archive that expands to FILES files and\n"
     "BYTES bytes (used for the free-space check)"},
    {"--no-verify-archive", OPT_NO_VERIFY_ARCHIVE, false, -1, HELP_OTHER, "--no-verify-archive",
     "embed no verification archive"},
    {"--stub", OPT_STUB, true, -1, HELP_OTHER, "--stub FILE",
     "the launcher program (default: cvlaunch beside cvpack)"},
    {"--purpose", OPT_PURPOSE, true, -1, HELP_OTHER, "--purpose N",
     "the purpose byte, 0 to 255 (default 1, an\n"
     "application launcher; 0 and 2 apply the\n"
     "SET_ENV_FOR_WIZARD values of JVM description files)"},
    {"-o", OPT_OUTPUT, true, -1, HELP_OTHER, nullptr, nullptr},
    {"--output", OPT_OUTPUT, true, -1, HELP_OTHER, "-o, --output FILE",
     "the launcher file to write (made executable)"},
    {"--list", OPT_LIST, true, -1, HELP_OTHER, "--list LAUNCHER",
     "show the files that a launcher file carries"},
    {"--check", OPT_CHECK, false, -1, HELP_OTHER, "--check FILE...",
     "check tag files as packing does, and pack nothing"},
    {"-h", OPT_HELP, false, -1, HELP_OTHER, nullptr, nullptr},
    {"--help", OPT_HELP, false, -1, HELP_OTHER, "-h, --help", "show this help"},
    {"--version", OPT_VERSION, false, -1, HELP_OTHER, "--version", "show the version"},
    {"--main-jar", OPT_MAIN_JAR, true, -1, HELP_APPLICATION, "--main-jar JAR",
     "the application's jar, embedded first on the class path"},
    {"--class-path", OPT_CLASS_PATH, true, -1, HELP_APPLICATION, "--class-path JAR",
     "another jar for the class path (repeatable)"},
    {"--main-class", OPT_MAIN_CLASS, true, -1, HELP_APPLICATION, "--main-class NAME",
     "the main class (default: Main-Class of the\n"
     "main jar's manifest)"},
    {"--java", OPT_JAVA, true, -1, HELP_APPLICATION, "--java RANGE",
     "the Java versions to accept: 17 (exactly 17),\n"
     "17+ (17 or newer), 11-21 (11 to 21); default: any"},
    {"--java-option", OPT_JAVA_OPTION, true, -1, HELP_APPLICATION, "--java-option OPTION",
     "one argument for java before the main class\n"
     "(repeatable)"},
    {"--name", OPT_NAME, true, -1, HELP_APPLICATION, "--name TEXT",
     "the application's name, for messages (default:\n"
     "the main jar's name without .jar)"},
    {"--title", OPT_TITLE, true, -1, HELP_APPLICATION, "--title TEXT",
     "a title that the launcher shows when it starts\n"
     "(default: none)"},
    {"--search-disk", OPT_SEARCH_DISK, false, -1, HELP_APPLICATION, "--search-disk",
     "walk the whole file system when no usual place\n"
     "holds a suitable JVM"},
    {"--no-class-data-archive", OPT_NO_CLASS_DATA_ARCHIVE, false, -1, HELP_APPLICATION,
     "--no-class-data-archive",
     "do not keep a class-data archive of the\n"
     "application in the user's cache"},
    {"--no-manifest-class-path", OPT_NO_MANIFEST_CLASS_PATH, false, -1, HELP_APPLICATION,
     "--no-manifest-class-path",
     "embed only the jars given, not those that the\n"
     "Class-Path of their manifests names"},
    {"--print-config", OPT_PRINT_CONFIG, true, -1, HELP_APPLICATION, "--print-config DIR",
     "write program.tag, launch.tag, java.jvm and the\n"
     "jars whose Class-Path is dropped (classpath/) into\n"
     "DIR instead, and print the command that packs them\n"
     "with every other option given (and -o)"},
    {"--runtime", OPT_RUNTIME, true, -1, HELP_APPLICATION, "--runtime JDK_HOME",
     "carry a Java runtime linked from that JDK, with\n"
     "the modules that jdeps finds in the jars; the\n"
     "launcher installs it once for the user when no\n"
     "installed Java fits (--java defaults to its\n"
     "version and newer)"},
    {"--runtime-modules", OPT_RUNTIME_MODULES, true, -1, HELP_APPLICATION, "--runtime-modules LIST",
     "the runtime's modules, separated by commas, in\n"
     "place of those that jdeps finds; +LIST adds\n"
     "them (modules reached by reflection or as\n"
     "services: jdk.zipfs, jdk.crypto.ec, ...)"},
    {"--runtime-compression", OPT_RUNTIME_COMPRESSION, true, -1, HELP_APPLICATION,
     "--runtime-compression LEVEL",
     "how hard to compress the runtime, from 1 (packs\n"
     "in seconds, 20 to 30 % larger) to 19 (smallest,\n"
     "takes a minute or so; the default)"},
    {"--prefer-runtime", OPT_PREFER_RUNTIME, false, -1, HELP_APPLICATION, "--prefer-runtime",
     "always run the carried runtime, even when an\n"
     "installed Java fits (with --runtime or\n"
     "--jvm-installer)"},
};

// The text of the usage around the rows of each section: what comes before
// the rows, what after them.
const struct {
    HelpSection section;
    const char* before;
    const char* after;
} kHelpSections[] = {
    {HELP_APPLICATION,
     "Usage: cvpack [FILE OPTIONS] [--stub FILE] [--purpose N] -o OUTPUT\n"
     "  or:  cvpack --main-jar JAR [APPLICATION OPTIONS] [OTHER OPTIONS] -o OUTPUT\n"
     "  or:  cvpack --main-jar JAR [APPLICATION OPTIONS] --print-config DIR [-o OUTPUT]\n"
     "  or:  cvpack --list LAUNCHER\n"
     "  or:  cvpack --check FILE...\n"
     "Builds a launcher file: the cvlaunch program with the given files embedded.\n"
     "\n"
     "Application options (one command for a Java application; cvpack writes the\n"
     "instruction program, the launch script and the JVM description file):\n",
     "With --main-jar, --instructions, --launch-script and --jvm are refused, and\n"
     "--name names the application rather than a file.\n"
     "\n"},
    {HELP_FILES, "Files to embed, in index order (each option may be repeated):\n", ""},
    {HELP_MODIFIERS, "Modifiers of the file named just before them:\n", ""},
    {HELP_OTHER, "Other options:\n",
     "\n"
     "Tag files are checked before anything is written: what the launcher would\n"
     "reject (unknown instructions, wrong arguments, missing labels, unknown %\n"
     "functions, malformed version ranges) is refused, what it would misread is\n"
     "warned about.\n"
     "Exit status: 0 done, 1 failed, 2 usage error.\n"},
};

// Where the descriptions of the usage text start.
const unsigned int kHelpColumn = 30;

// One row of the usage text: the option, then its description from
// kHelpColumn on, on a line of its own when the option reaches that far.
SString helpRow(const OptionDefinition& option) {
    SString row = joinText("  ", option.usage);
    SString indent(kHelpColumn, ' ');
    if (row.length() + 2 > kHelpColumn) {
        row += joinText('\n', indent);
    } else {
        row += SString(kHelpColumn - row.length(), ' ');
    }
    for (const char* line = option.help; *line != '\0'; line++) {
        row += *line;
        if (*line == '\n') {
            row += indent;
        }
    }
    return joinText(row, '\n');
}

const char kMainJarOption[] = "--main-jar";

const OptionDefinition* findOption(const SString& name) {
    for (const OptionDefinition& option : kOptions) {
        if (option.kind != OPT_CHECK && name.compare(option.name) == 0) {
            return &option;
        }
    }
    return nullptr;
}

// The option name of an argument: a long option given as "--name=value"
// without its value.
SString optionName(const SString& argument) {
    unsigned int equals = argument.find('=');
    bool inlineValue = argument.compare(0, 2, "--") == 0 && equals != SString::npos;
    return inlineValue ? argument.substr(0, equals) : argument;
}

SString quoted(const char* before, const SString& text, const char* after) {
    return joinText(before, '\'', text, '\'', after);
}

// The value of the option named `name` at argv[i]: the text after "=", or
// the next argument (i then moves to it); empty for an option without value.
SString optionValue(const OptionDefinition& option, const SString& name, int argc, char** argv,
                    int& i) {
    SString argument(argv[i]);
    bool inlineValue = name.length() < argument.length();
    if (!option.takesValue) {
        if (inlineValue) {
            throw UsageError(quoted("option ", name, " takes no value"));
        }
        return SString();
    }
    bool given = inlineValue || i + 1 < argc;
    SString value =
        inlineValue ? argument.substr(name.length() + 1) : SString(given ? argv[++i] : "");
    // A name or title may be empty: it then takes its default.
    bool mayBeEmpty = option.kind == OPT_NAME || option.kind == OPT_TITLE;
    if (!given || (value.empty() && !mayBeEmpty)) {
        throw UsageError(quoted("option ", name, " needs a value"));
    }
    return value;
}

// A whole decimal number between min and max, or a UsageError about option.
long parseNumber(const SString& text, long min, long max, const SString& option) {
    char* end = nullptr;
    errno = 0;
    long value = strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < min || value > max) {
        throw UsageError(joinText(quoted("invalid value ", text, " for "), option,
                                  ": expected a number from ", convertToString(min), " to ",
                                  convertToString(max)));
    }
    return value;
}

long parseFileType(const SString& text) {
    for (const OptionDefinition& option : kOptions) {
        if (option.kind == OPT_FILE && text.compare(option.name + 2) == 0) {
            return option.fileType;
        }
    }
    return parseNumber(text, 0, kFileTypeLast, "the file type of --file");
}

// Splits text at the first colon: the part before it is returned, text keeps
// the rest (or becomes empty when there is no colon).
SString takeField(SString& text, bool& more) {
    unsigned int colon = text.find(':');
    more = colon != SString::npos;
    SString field = text.substr(0, colon);
    text = more ? text.substr(colon + 1) : SString();
    return field;
}

}  // namespace

const char* PackerOptions::typeName(long type) {
    for (const OptionDefinition& option : kOptions) {
        if (option.kind == OPT_FILE && option.fileType == type) {
            return option.name + 2;
        }
    }
    return "unknown";
}

SString PackerOptions::usage() {
    SString text;
    for (const auto& section : kHelpSections) {
        text += section.before;
        for (const OptionDefinition& option : kOptions) {
            if (option.section == section.section && option.usage != nullptr) {
                text += helpRow(option);
            }
        }
        text += section.after;
    }
    return text;
}

void PackerOptions::parse(int argc, char** argv) {
    if (argc < 2) {
        throw UsageError("nothing to do: give the files to pack and -o OUTPUT, or --list FILE");
    }
    // With --main-jar anywhere, --name names the application, not a file.
    for (int i = 1; i < argc && !m_applicationMode; i++) {
        m_applicationMode = optionName(argv[i]).compare(kMainJarOption) == 0;
    }
    bool packing = false;
    for (int i = 1; i < argc; i++) {
        SString name = optionName(argv[i]);
        const OptionDefinition* option = findOption(name);
        if (option == nullptr) {
            throw UsageError(quoted(argv[i][0] == '-' ? "unknown option " : "unexpected argument ",
                                    argv[i], ""));
        }
        SString value = optionValue(*option, name, argc, argv, i);
        packing = packing || (option->kind != OPT_LIST && option->kind != OPT_HELP);
        if (option->kind > OPT_MAIN_JAR && m_applicationOption.empty()) {
            m_applicationOption = name;
        }
        apply(option->kind, option->fileType, name, value);
    }
    if (help || version) {
        return;
    }
    if (!listFile.empty()) {
        if (packing) {
            throw UsageError("--list takes no other options");
        }
        return;
    }
    checkApplicationMode();
    if (output.empty() && application.configDirectory.empty()) {
        throw UsageError("no output file: give -o OUTPUT");
    }
    for (const PayloadFile& file : files) {
        if (noVerifyArchive && file.type == FILE_VERIFY_ARCHIVE) {
            throw UsageError("--no-verify-archive contradicts the verification archive given");
        }
    }
}

void PackerOptions::apply(int kind, long fileType, const SString& option, const SString& value) {
    switch (kind) {
        case OPT_FILE:
            addFile(fileType, value);
            break;
        case OPT_FILE_SPEC:
            parseFileOption(value);
            break;
        case OPT_ID:
            lastFile(option).hasId = true;
            lastFile(option).id = parseNumber(value, INT32_MIN, INT32_MAX, option);
            break;
        case OPT_NAME:
            (m_applicationMode ? application.name : lastFile(option).name) = value;
            break;
        case OPT_COMPRESSED:
            parseCompressed(lastFile(option), value);
            break;
        case OPT_NO_VERIFY_ARCHIVE:
            noVerifyArchive = true;
            break;
        case OPT_STUB:
            stub = value;
            break;
        case OPT_PURPOSE:
            purpose = parseNumber(value, 0, 255, option);
            break;
        case OPT_OUTPUT:
            output = value;
            break;
        case OPT_LIST:
            listFile = value;
            break;
        case OPT_HELP:
            help = true;
            break;
        case OPT_VERSION:
            version = true;
            break;
        default:
            applyApplicationOption(kind, option, value);
            break;
    }
}

void PackerOptions::applyApplicationOption(int kind, const SString& option, const SString& value) {
    switch (kind) {
        case OPT_MAIN_JAR:
            application.mainJar = value;
            break;
        case OPT_CLASS_PATH:
            application.classPath.push_back(value);
            break;
        case OPT_MAIN_CLASS:
            application.mainClass = value;
            break;
        case OPT_JAVA:
            application.javaRange = value;
            break;
        case OPT_JAVA_OPTION:
            application.javaOptions.push_back(value);
            break;
        case OPT_SEARCH_DISK:
            application.searchDisk = true;
            break;
        case OPT_NO_CLASS_DATA_ARCHIVE:
            application.classDataArchive = false;
            break;
        case OPT_NO_MANIFEST_CLASS_PATH:
            application.manifestClassPath = false;
            break;
        case OPT_TITLE:
            application.title = value;
            break;
        case OPT_PRINT_CONFIG:
            application.configDirectory = value;
            break;
        case OPT_RUNTIME:
            application.runtimeHome = value;
            break;
        case OPT_RUNTIME_MODULES:
            application.runtimeModules = value;
            break;
        case OPT_RUNTIME_COMPRESSION:
            application.runtimeCompression =
                parseNumber(value, RuntimeImage::kMinLevel, RuntimeImage::kMaxLevel, option);
            break;
        case OPT_PREFER_RUNTIME:
            application.preferRuntime = true;
            break;
    }
}

void PackerOptions::checkApplicationMode() {
    if (!m_applicationMode) {
        if (!m_applicationOption.empty()) {
            throw UsageError(quoted("option ", m_applicationOption, " needs --main-jar JAR"));
        }
        return;
    }
    for (const PayloadFile& file : files) {
        if (file.type <= FILE_LAUNCH_SCRIPT) {
            throw UsageError(joinText(
                "--main-jar generates the instruction program, the launch script and the JVM "
                "description file; to pack your own ",
                typeName(file.type),
                " file, write the generated ones with --print-config and pack "
                "them without --main-jar"));
        }
    }
    checkRuntimeOptions();
}

void PackerOptions::checkRuntimeOptions() {
    bool installer = std::any_of(files.begin(), files.end(), [](const PayloadFile& file) {
        return file.type == FILE_JVM_INSTALLER;
    });
    bool runtime = !application.runtimeHome.empty();
    if (runtime && installer) {
        throw UsageError(
            "--runtime makes the launcher's JVM installer: give it or --jvm-installer, not both");
    }
    if (!application.runtimeModules.empty() && !runtime) {
        throw UsageError("--runtime-modules needs --runtime JDK_HOME");
    }
    if (application.runtimeCompression != 0 && !runtime) {
        throw UsageError("--runtime-compression needs --runtime JDK_HOME");
    }
    if (!application.runtimeModules.empty()) {
        checkModuleList(application.runtimeModules);
    }
    application.carriesRuntime = runtime || installer;
    if (application.preferRuntime && !application.carriesRuntime) {
        throw UsageError("--prefer-runtime needs --runtime JDK_HOME or --jvm-installer FILE");
    }
    if (application.searchDisk && application.carriesRuntime) {
        throw UsageError(
            "--search-disk walks the whole file system for a JVM, which a launcher that carries "
            "its runtime never needs: drop it");
    }
}

void PackerOptions::checkModuleList(const SString& list) {
    SString rest = list.compare(0, 1, "+") == 0 ? list.substr(1) : list;
    bool more = true;
    while (more) {
        unsigned int comma = rest.find(',');
        more = comma != SString::npos;
        if (rest.substr(0, comma).empty()) {
            throw UsageError(quoted("--runtime-modules ", list,
                                    ": expected module names separated by commas, or + and "
                                    "such names to add"));
        }
        rest = more ? rest.substr(comma + 1) : SString();
    }
}

void PackerOptions::addFile(long type, const SString& path) {
    PayloadFile file;
    file.type = type;
    file.path = path;
    files.push_back(file);
}

void PackerOptions::parseFileOption(const SString& option) {
    SString rest = option;
    bool more = false;
    SString type = takeField(rest, more);
    SString path = takeField(rest, more);
    if (path.empty()) {
        throw UsageError(quoted("--file ", option, ": expected TYPE:PATH[:ID[:NAME]]"));
    }
    addFile(parseFileType(type), path);
    if (more) {
        SString id = takeField(rest, more);
        files.back().hasId = true;
        files.back().id = parseNumber(id, INT32_MIN, INT32_MAX, "the file id of --file");
    }
    if (more) {
        files.back().name = rest;
    }
}

void PackerOptions::parseCompressed(PayloadFile& file, const SString& value) {
    SString rest = value;
    bool more = false;
    SString count = takeField(rest, more);
    if (!more) {
        throw UsageError(quoted("--compressed ", value, ": expected FILES:BYTES"));
    }
    file.compressed = true;
    file.expandedFiles = parseNumber(count, 0, INT32_MAX, "the file count of --compressed");
    file.expandedSize = parseNumber(rest, 0, INT32_MAX, "the size of --compressed");
}

PayloadFile& PackerOptions::lastFile(const SString& option) {
    if (files.empty()) {
        throw UsageError(quoted("option ", option, " must follow the file it describes"));
    }
    return files.back();
}
