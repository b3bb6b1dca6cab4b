#include "platform/MessageCatalogue.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Callers append further text to entries 24, 26, 27 and 36 and prepend it to
// entry 37, hence their blanks. Entry 35 keeps backslash and "n" as two
// characters: nothing turns them into line breaks.
const char* const unixlauncher_msg_en[kMessageCount + 1] = {
    /* 0 */ "en",
    /* 1 */ "Initializing %s...",
    /* 2 */ "Searching %s...",
    /* 3 */ "Verifying %s",
    /* 4 */ "No Java(tm) Virtual Machine was found.",
    /* 5 */ "%s could not be launched.",
    /* 6 */ "A compatible JVM can be downloaded from %s",
    /* 7 */ "Running %s...",
    /* 8 */ "Preparing Java(tm) Virtual Machine...",
    /* 9 */ "Searching for Java(tm) Virtual Machine...",
    /* 10 */ "Searching for %s",
    /* 11 */ "Error creating temporary directory %s",
    /* 12 */ "Error creating temporary file %s",
    /* 13 */ "LauncherMain",
    /* 14 */ "Invalid platform hint: %s",
    /* 15 */ "Execution of Child Process Failed",
    /* 16 */ "Scanning disk(s) for a Java(tm) Virtual Machine...",
    /* 17 */ "Supply the destination directory for the Java Virtual Machine:",
    /* 18 */ ".",
    /* 19 */ "Could not load the input file.",
    /* 20 */ "Error loading instructions file.",
    /* 21 */ "Error loading launch script.",
    /* 22 */ "Error loading JVM file.",
    /* 23 */ "Invalid JVM file id.",
    /* 24 */ "Invalid action in input file: ",
    /* 25 */ "A log file name must be specified after the -log option on the command line.",
    /* 26 */ "Unable to extract embedded files from the launcher. ",
    /* 27 */ "Unable to load the launcher file index. ",
    /* 28 */ "No JVM installer was included in the launcher.",
    /* 29 */ "The JVM is not valid.",
    /* 30 */ "An input file name must follow the '-in' command line option.",
    /* 31 */
    "A suitable JVM could not be found. Please run the installer again using the option "
    "-cv:javahome <JAVA HOME DIR>",
    /* 32 */ "Unable to search for all JVMs.",
    /* 33 */ "Unable to open input file specified on the command line after the -in option.",
    /* 34 */ "Choose the JVM Destination Directory",
    /* 35 */
    "Corvane(R) is preparing the Corvane Wizard, which\\nwill guide you through the rest of "
    "the setup process.\\nPlease wait...",
    /* 36 */ "Error writing file = ",
    /* 37 */
    " There may not be enough temporary disk space. Try using -cv:tempdir to use a temporary "
    "directory on a partition with more disk space.",
    /* 38 */ "Canceled by the user.",
    /* 39 */ "No suitable Java was found. This program needs %s.",
    /* 40 */ "Java %s",
    /* 41 */ "Java %s or newer",
    /* 42 */ "Java of any version",
    /* 43 */ "Java found that does not fit:",
    /* 44 */ "No Java was found.",
    /* 45 */
    "Set JAVA_HOME to the directory of the Java to use, or give it with the option "
    "-cv:javahome <JAVA HOME DIR>.",
    nullptr,
};

const char* const* const msg_locale_table[kLocaleCount + 1] = {
    unixlauncher_msg_en,
    unixlauncher_msg_cs,
    unixlauncher_msg_da,
    unixlauncher_msg_de,
    unixlauncher_msg_el,
    unixlauncher_msg_es,
    unixlauncher_msg_fi,
    unixlauncher_msg_fr,
    unixlauncher_msg_hu,
    unixlauncher_msg_it,
    unixlauncher_msg_ja,
    unixlauncher_msg_ko,
    unixlauncher_msg_nl,
    unixlauncher_msg_no,
    unixlauncher_msg_pl,
    unixlauncher_msg_pt,
    unixlauncher_msg_pt_BR,
    unixlauncher_msg_ru,
    unixlauncher_msg_sv,
    unixlauncher_msg_tr,
    unixlauncher_msg_zh,
    unixlauncher_msg_zh_TW,
    nullptr,
};

namespace {

// The first locale whose key matches `value` by `keyMatches`, or -1.
template <typename Match>
int findLocale(const char* value, Match keyMatches) {
    for (int i = 0; msg_locale_table[i] != nullptr; ++i) {
        if (keyMatches(msg_locale_table[i][0], value)) {
            return i;
        }
    }
    return -1;
}

}  // namespace

int get_locale() {
    const char* value = getenv("LANG");
    if (value == nullptr || strcmp(value, "C") == 0) {
        return 0;
    }
    int locale =
        findLocale(value, [](const char* key, const char* v) { return strncmp(key, v, 5) == 0; });
    if (locale < 0) {
        locale = findLocale(value, [](const char* key, const char* v) {
            return strncmp(key, v, strlen(key)) == 0;
        });
    }
    return locale < 0 ? 0 : locale;
}

char* get_msg(int id, void* arg) {
    char* buffer = new char[kMessageBufferSize]();
    if (id < 0 || id >= kMessageCount) {
        snprintf(buffer, kMessageBufferSize, "Error displaying message: id(%d)", id);
        return buffer;
    }
    // A null argument must not reach "%s": print nothing in its place.
    const char* text = arg != nullptr ? static_cast<const char*>(arg) : "";
    const char* format = msg_locale_table[get_locale()][id];
    snprintf(buffer, kMessageBufferSize, format != nullptr ? format : unixlauncher_msg_en[id],
             text);
    return buffer;
}
