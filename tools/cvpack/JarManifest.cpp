#include "cvpack/JarManifest.h"

#include <strings.h>

#include <cstring>

namespace {

const char kBlanks[] = " \t";

// The offset of the line end of the line at `position` (the end of the text
// when it has none); `next` becomes the offset of the line after it.
size_t lineEnd(const std::string& text, size_t position, size_t& next) {
    size_t end = text.find_first_of("\r\n", position);
    if (end == std::string::npos) {
        next = text.size();
        return text.size();
    }
    next = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    return end;
}

std::string trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(kBlanks);
    return first == std::string::npos
               ? std::string()
               : text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Names may hold any byte, a NUL too, so they are compared with their lengths.
bool sameName(const std::string& name, const char* wanted) {
    return name.size() == strlen(wanted) && strncasecmp(name.data(), wanted, name.size()) == 0;
}

}  // namespace

JarManifest::JarManifest(const std::string& text) : m_text(text) {
    std::string line;
    size_t start = 0;
    size_t position = 0;
    while (position < text.size()) {
        size_t next = 0;
        size_t end = lineEnd(text, position, next);
        if (end == position) {
            break;
        }
        if (text[position] == ' ') {
            line.append(text, position + 1, end - position - 1);
        } else {
            addHeader(line, start, position);
            line.assign(text, position, end - position);
            start = position;
        }
        position = next;
    }
    addHeader(line, start, position);
}

void JarManifest::addHeader(const std::string& line, size_t start, size_t end) {
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
        m_headers.push_back({line.substr(0, colon), trimmed(line.substr(colon + 1)), start, end});
    }
}

std::string JarManifest::attribute(const char* name) const {
    std::string value;
    for (const Header& header : m_headers) {
        if (sameName(header.name, name)) {
            value = header.value;
        }
    }
    return value;
}

bool JarManifest::has(const char* name) const {
    for (const Header& header : m_headers) {
        if (sameName(header.name, name)) {
            return true;
        }
    }
    return false;
}

std::string JarManifest::without(const char* name) const {
    std::string text;
    size_t copied = 0;
    for (const Header& header : m_headers) {
        if (sameName(header.name, name)) {
            text.append(m_text, copied, header.start - copied);
            copied = header.end;
        }
    }
    return text.append(m_text, copied, std::string::npos);
}
