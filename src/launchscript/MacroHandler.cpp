#include "launchscript/MacroHandler.h"

namespace {

// Bounds of an expansion: a value that brings back its own macro would
// otherwise be expanded for ever, and one that multiplies its text would
// take all memory. Every step of a scan searches and moves the text, so the
// text that all steps of one top-level resolve handle, the resolves of
// function arguments inside it included, is bounded as well: 10,000 steps
// over a text near 1 MiB would take minutes, 64 MiB takes well below a second.
const unsigned int kMaxReplacements = 10000;
const unsigned int kMaxTextLength = 1024 * 1024;
const unsigned long long kMaxWork = 64ull * 1024 * 1024;

// The work of the running top-level resolve and how deeply resolves are
// nested in it; the launcher expands on one thread only.
unsigned long long g_work = 0;
unsigned int g_depth = 0;

// Marks one resolve as running; the outermost one starts the work afresh.
class NestedResolve {
  public:
    NestedResolve() {
        if (g_depth++ == 0) {
            g_work = 0;
        }
    }
    ~NestedResolve() { --g_depth; }
    NestedResolve(const NestedResolve&) = delete;
    NestedResolve& operator=(const NestedResolve&) = delete;
};

// Turns every pair of delimiters into one.
void undoubleDelimiters(SString& text, char delimiter) {
    const char pair[] = {delimiter, delimiter, '\0'};
    unsigned int position = text.find(pair, 0, 2);
    while (position != SString::npos) {
        text.erase(position, 1);
        position = text.find(pair, position + 1, 2);
    }
}

}  // namespace

MacroHandler::EndlessExpansion::EndlessExpansion()
    : LauncherException("Macro expansion does not end.") {}

MacroHandler::EndlessExpansion::EndlessExpansion(const char* message)
    : LauncherException(message) {}

MacroHandler::~MacroHandler() {}

void MacroHandler::checkLength(unsigned long long length) {
    if (length > kMaxTextLength) {
        throw EndlessExpansion("Macro expansion grows past 1 MiB.");
    }
}

SString MacroHandler::resolve(const SString& text, char delimiter) const {
    NestedResolve nested;
    SString result(text);
    unsigned int replacements = 0;
    unsigned int start = result.find(delimiter);
    // A name has at least one character, so a macro needs two more after start.
    while (start != SString::npos && start + 2 < result.length()) {
        unsigned int end = result.find(delimiter, start + 2);
        if (end == SString::npos) {
            break;
        }
        checkLength(result.length());
        g_work += result.length();
        if (++replacements > kMaxReplacements || g_work > kMaxWork) {
            throw EndlessExpansion();
        }
        processMacro(result, delimiter, start, end);
        start = result.find(delimiter, start);
    }
    undoubleDelimiters(result, delimiter);
    return result;
}
