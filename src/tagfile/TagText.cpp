#include "tagfile/TagText.h"

#include "base/TextUtils.h"
#include "launcher/LauncherException.h"

TagText& TagText::line(const char* name, const SString& value) {
    m_text += joinText(name, ": ", formatted(name, value), '\n');
    return *this;
}

TagText& TagText::block(const char* name, const std::vector<SString>& values) {
    m_text += joinText(name, ":\n");
    for (const SString& value : values) {
        m_text += joinText("  ", formatted(name, value), '\n');
    }
    m_text += "/:\n";
    return *this;
}

SString TagText::formatted(const char* name, const SString& value) {
    if (value.find_first_of("\r\n") != SString::npos) {
        throw LauncherException(
            joinText("a line break cannot be written into the ", name, " tag: ", value));
    }
    bool plain = !value.empty() && value[0] != '"' && !isWhitespace(value[0]) &&
                 !isWhitespace(value[value.length() - 1]);
    return plain ? value : quoteArgument(value);
}
