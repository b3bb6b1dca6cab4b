// Platform layer: splitting a command string into program arguments.
#include "platform/CmdLine.h"

#include "base/TextUtils.h"

namespace {

// The first position at or after `pos` that is not white space (the length
// of the line when there is none).
unsigned int skipWhitespace(const SString& line, unsigned int pos) {
    while (pos < line.length() && isWhitespace(line[pos])) {
        ++pos;
    }
    return pos;
}

}  // namespace

CmdLine::CmdLine() : m_count(0) {}

CmdLine::~CmdLine() {}

bool CmdLine::parse(const SString& line) {
    m_count = 0;
    m_options.clear();
    unsigned int pos = skipWhitespace(line, 0);
    while (pos < line.length()) {
        SString argument;
        unsigned int next = SString::npos;
        getNextArg(line, pos, m_count == 0, argument, next);
        if (!argument.empty()) {
            m_options.push_back(argument);
            ++m_count;
        }
        if (next == SString::npos) {
            break;
        }
        pos = skipWhitespace(line, next);
    }
    return true;
}

bool CmdLine::getNextArg(const SString& line, unsigned int start, bool first, SString& argument,
                         unsigned int& next) {
    argument.erase();
    bool quoted = false;
    bool escaped = false;
    bool done = false;
    unsigned int pos = skipWhitespace(line, start);
    if (pos < line.length() && line[pos] == '"') {
        quoted = true;
        ++pos;
    }
    while (pos < line.length() && !done) {
        char c = line[pos];
        if (!first && !escaped && c == '\\') {
            escaped = true;
        } else if (escaped) {
            if (c != '"') {
                argument += '\\';
            }
            argument += c;
            escaped = false;
        } else if (quoted) {
            if (c == '"') {
                done = true;
                ++pos;  // the closing quote belongs to this argument
            } else {
                argument += c;
            }
        } else if (isWhitespace(c)) {
            done = true;
        } else if (c == '"') {
            SString stretch;
            unsigned int after = SString::npos;
            getNextArg(line, pos, first, stretch, after);
            argument += stretch;
            pos = after == SString::npos ? line.length() : after;
            continue;
        } else {
            argument += c;
        }
        if (!done) {
            ++pos;
        }
    }
    next = pos < line.length() ? pos : SString::npos;
    return true;
}

int CmdLine::getOptionCount() const {
    return m_count;
}

char* CmdLine::getOption(int index) const {
    if (index < 0 || index >= m_count) {
        return nullptr;
    }
    return const_cast<char*>(m_options.at(index).c_str());
}
