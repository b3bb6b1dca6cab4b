#include "MacroHandler.h"

namespace {

// Bounds of one resolve: a value that brings back its own macro would
// otherwise be expanded for ever.
const unsigned int maxReplacements = 10000;
const unsigned int maxTextLength = 1024 * 1024;

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

MacroHandler::~MacroHandler() {}

SString MacroHandler::resolve(const SString& text, char delimiter) const {
    SString result(text);
    unsigned int replacements = 0;
    unsigned int start = result.find(delimiter);
    // A name has at least one character, so a macro needs two more after start.
    while (start != SString::npos && start + 2 < result.length()) {
        unsigned int end = result.find(delimiter, start + 2);
        if (end == SString::npos) {
            break;
        }
        if (++replacements > maxReplacements || result.length() > maxTextLength) {
            throw EndlessExpansion();
        }
        processMacro(result, delimiter, start, end);
        start = result.find(delimiter, start);
    }
    undoubleDelimiters(result, delimiter);
    return result;
}
