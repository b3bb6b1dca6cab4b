#include "launchscript/CommandText.h"

#include <cstring>
#include <vector>

#include "base/TextUtils.h"

namespace {

// A mark is kMarkStart, its kind, the value and kMarkEnd. Inside the value,
// the three mark bytes and the three macro delimiters are written as
// kEscape and the byte + 0x80, so that no macro pass finds a delimiter in a
// value and no value ends its mark early.
const char kMarkStart = '\x01';
const char kMarkEnd = '\x02';
const char kEscape = '\x03';
const char kWhole = 'w';
const char kSplit = 's';
const char kEscaped[] = "\x01\x02\x03%@#";

// The blanks at which an unquoted value is split, as a shell splits an
// unquoted variable.
bool isFieldSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

SString markOf(char kind, const SString& value) {
    SString mark;
    mark.reserve(value.length() + 3);
    mark += kMarkStart;
    mark += kind;
    for (unsigned int i = 0; i < value.length(); ++i) {
        char c = value[i];
        if (c != '\0' && strchr(kEscaped, c) != nullptr) {
            mark += kEscape;
            c = static_cast<char>(static_cast<unsigned char>(c) + 0x80);
        }
        mark += c;
    }
    mark += kMarkEnd;
    return mark;
}

struct Mark {
    char kind;
    SString value;
};

// Reads the mark that begins at `position`; leaves `position` after it.
// False, with `position` unchanged, for a kMarkStart that begins no mark.
bool readMark(const SString& text, unsigned int& position, Mark& mark) {
    unsigned int end = text.find(kMarkEnd, position);
    if (end == SString::npos || position + 1 >= end) {
        return false;
    }
    mark.kind = text[position + 1];
    mark.value.erase();
    for (unsigned int i = position + 2; i < end; ++i) {
        char c = text[i];
        if (c == kEscape && i + 1 < end) {
            c = static_cast<char>(static_cast<unsigned char>(text[++i]) - 0x80);
        }
        mark.value += c;
    }
    position = end + 1;
    return true;
}

// Shell words that a program of the same name must not stand for: keywords
// and built-ins run inside the shell, so a command that begins with one goes
// to the shell.
bool isShellWord(const SString& name) {
    static const char* const words[] = {
        "!",      "{",      "}",     ".",       ":",       "[",        "alias", "bg",
        "break",  "case",   "cd",    "chdir",   "command", "continue", "do",    "done",
        "echo",   "elif",   "else",  "esac",    "eval",    "exec",     "exit",  "export",
        "false",  "fc",     "fg",    "fi",      "for",     "getopts",  "hash",  "if",
        "in",     "jobs",   "kill",  "local",   "printf",  "pwd",      "read",  "readonly",
        "return", "set",    "shift", "test",    "then",    "times",    "trap",  "true",
        "type",   "ulimit", "umask", "unalias", "unset",   "until",    "wait",  "while",
    };
    for (const char* word : words) {
        if (name.compare(word) == 0) {
            return true;
        }
    }
    return false;
}

// The fields that one word gives, built as a shell builds them.
class Fields {
  public:
    void add(char c) {
        m_current += c;
        m_started = true;
    }
    void add(const SString& text) {
        m_current += text;
        m_started = true;
    }
    // Quotes make a field even when nothing is between them.
    void quote() { m_started = true; }
    // An unquoted value: empty leaves nothing; a split value ends the field
    // at each run of blanks.
    void addUnquoted(const Mark& mark) {
        if (mark.kind != kSplit) {
            if (!mark.value.empty()) {
                add(mark.value);
            }
            return;
        }
        for (unsigned int i = 0; i < mark.value.length(); ++i) {
            if (isFieldSeparator(mark.value[i])) {
                end();
            } else {
                add(mark.value[i]);
            }
        }
    }
    void end() {
        if (m_started) {
            m_fields.push_back(m_current);
        }
        m_current.erase();
        m_started = false;
    }
    const std::vector<SString>& fields() const { return m_fields; }

  private:
    SString m_current;
    bool m_started = false;
    std::vector<SString> m_fields;
};

// The shell script of a command that is no plain command: the template's
// text, each value replaced by a reference to a shell variable that the
// script's first line sets from its positional parameters.
class ShellScript {
  public:
    // What the shell reads where the template text stands, unchanged.
    void addText(char c) { m_text += c; }
    void addText(const SString& text) { m_text += text; }
    // A reference to `value`, written for the quoting it stands in.
    void addValue(const SString& value, char quoting) {
        m_values.push_back(value);
        SString name = joinText("${cvlaunch_", convertToString(m_values.count), '}');
        if (quoting == '\'') {
            m_text += joinText("'\"", name, "\"'");
        } else if (quoting == '"') {
            m_text += name;
        } else {
            m_text += joinText('"', name, '"');
        }
    }
    void addFields(const std::vector<SString>& fields) {
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i > 0) {
                addText(' ');
            }
            addValue(fields[i], 0);
        }
    }
    // /bin/sh -c with the script, $0, the values and the extra arguments.
    void finish(const StringDeque* extraArguments, StringDeque& arguments) const {
        SString script;
        if (m_values.count > 0) {
            script = joinText(
                "cvlaunch_n=0; while [ \"$cvlaunch_n\" -lt ", convertToString(m_values.count),
                " ]; do cvlaunch_n=$((cvlaunch_n + 1)); eval \"cvlaunch_$cvlaunch_n=\\$1\"; "
                "shift; done\n");
        }
        script += m_text;
        bool extra = extraArguments != nullptr && extraArguments->count > 0;
        if (extra) {
            script += " \"$@\"";
        }
        arguments.push_back("/bin/sh");
        arguments.push_back("-c");
        arguments.push_back(script);
        arguments.push_back("cvlaunch");
        for (long i = 0; i < m_values.count; ++i) {
            arguments.push_back(m_values.at(i));
        }
        for (long i = 0; extra && i < extraArguments->count; ++i) {
            arguments.push_back(extraArguments->at(i));
        }
    }

  private:
    SString m_text;
    StringDeque m_values;
};

// Reads one word of a text the way a shell reads it, from its first
// character to the blank (or, in a command, the operator or line end) that
// ends it. A word that the shell would only read by evaluating something
// (a parameter, a command substitution, a glob, a tilde, a comment) is not
// evaluable: its fields are then unknown, but its end is still found, with
// nested quotes, "$(...)", "${...}" and back quotes followed, and the script,
// when given, gets the word's text with its values referenced in place.
class WordReader {
  public:
    // `literal`: nothing is evaluated, every character but quotes, backslash
    // and blanks is an ordinary one (the words of a side-file line).
    WordReader(const SString& text, bool literal, ShellScript* script)
        : m_text(text), m_literal(literal), m_script(script) {}

    // Reads the word at `position` (not a blank); leaves `position` after it.
    void read(unsigned int& position);

    bool evaluable() const { return m_evaluable; }
    bool hasValue() const { return m_hasValue; }
    // An unquoted "=" outside any construct: a shell may take the word for
    // an assignment.
    bool hasEquals() const { return m_hasEquals; }
    const std::vector<SString>& fields() const { return m_fields.fields(); }

  private:
    // The innermost construct: 0 (none, unquoted), '\'', '"', '(' for
    // "$(...)", '{' for "${...}", '`'.
    char context() const { return m_stack.empty() ? 0 : m_stack.back(); }
    // The quoting in force for a value: that of the innermost quotes, where
    // "${...}" keeps the quoting around it and "$(...)" and back quotes
    // begin anew.
    char quoting() const;
    bool atTopLevel() const { return m_stack.empty(); }
    void step(unsigned int& position);
    void stepUnquoted(unsigned int& position, char c);
    void stepDoubleQuoted(unsigned int& position, char c);
    void addMark(unsigned int& position);
    void notEvaluable() { m_evaluable = false; }
    void keep(char c) {
        if (m_script != nullptr) {
            m_script->addText(c);
        }
    }
    void keepAndAdd(char c) {
        keep(c);
        m_fields.add(c);
    }

    const SString& m_text;
    bool m_literal;
    ShellScript* m_script;
    std::vector<char> m_stack;
    unsigned int m_start = 0;
    bool m_evaluable = true;
    bool m_hasValue = false;
    bool m_hasEquals = false;
    Fields m_fields;
};

// The characters that end a word in a command and are themselves shell
// syntax: operators and the line end.
bool isOperator(char c) {
    return c != '\0' && strchr(";&|<>()\n", c) != nullptr;
}

void WordReader::read(unsigned int& position) {
    m_start = position;
    while (position < m_text.length()) {
        char c = m_text[position];
        if (atTopLevel() && (isBlank(c) || (!m_literal && isOperator(c)))) {
            break;
        }
        step(position);
    }
    if (!atTopLevel()) {
        // An unterminated quote or construct: only a shell can say what it is.
        notEvaluable();
    }
    m_fields.end();
}

char WordReader::quoting() const {
    for (auto it = m_stack.rbegin(); it != m_stack.rend(); ++it) {
        if (*it != '{') {
            return *it == '\'' || *it == '"' ? *it : 0;
        }
    }
    return 0;
}

void WordReader::step(unsigned int& position) {
    char c = m_text[position];
    if (c == kMarkStart) {
        addMark(position);
        return;
    }
    char inside = context();
    if (inside == '\'') {
        ++position;
        if (c == '\'') {
            m_stack.pop_back();
            keep(c);
        } else {
            keepAndAdd(c);
        }
    } else if (inside == '"') {
        stepDoubleQuoted(position, c);
    } else {
        stepUnquoted(position, c);
    }
}

void WordReader::stepDoubleQuoted(unsigned int& position, char c) {
    ++position;
    if (c == '"') {
        m_stack.pop_back();
        keep(c);
        return;
    }
    if (c == '\\' && position < m_text.length() && strchr("$`\"\\", m_text[position]) != nullptr) {
        keep(c);
        keepAndAdd(m_text[position++]);
        return;
    }
    if (!m_literal && (c == '$' || c == '`')) {
        stepUnquoted(--position, c);
        return;
    }
    keepAndAdd(c);
}

void WordReader::stepUnquoted(unsigned int& position, char c) {
    ++position;
    char next = position < m_text.length() ? m_text[position] : '\0';
    if (c == '\'' || c == '"') {
        m_stack.push_back(c);
        keep(c);
        m_fields.quote();
        return;
    }
    if (c == '\\') {
        keep(c);
        if (next == '\0' || (next == '\n' && !m_literal)) {
            // A line continuation, or a backslash that ends the text.
            if (!m_literal) {
                notEvaluable();
            } else {
                m_fields.add(c);
            }
            return;
        }
        keepAndAdd(m_text[position++]);
        return;
    }
    if (m_literal) {
        m_fields.add(c);
        return;
    }
    keep(c);
    if (c == '$' && (next == '(' || next == '{')) {
        keep(next);
        ++position;
        m_stack.push_back(next);
        notEvaluable();
        return;
    }
    char inside = context();
    if ((inside == '(' && c == ')') || (inside == '{' && c == '}') || (inside == '`' && c == '`')) {
        m_stack.pop_back();
        return;
    }
    // Parentheses nest inside "$(...)", so that its end is the matching one.
    if ((inside == '(' && c == '(') || (c == '`' && inside != '`')) {
        m_stack.push_back(c);
    }
    bool wordStart = position - 1 == m_start;
    if (strchr("$`*?[]{}!", c) != nullptr || ((c == '~' || c == '#') && wordStart)) {
        notEvaluable();
    }
    if (c == '=' && m_stack.empty()) {
        m_hasEquals = true;
    }
    m_fields.add(c);
}

void WordReader::addMark(unsigned int& position) {
    Mark mark;
    if (!readMark(m_text, position, mark)) {
        keepAndAdd(m_text[position++]);
        return;
    }
    m_hasValue = true;
    char quotes = quoting();
    if (quotes != 0) {
        m_fields.add(mark.value);
    } else {
        m_fields.addUnquoted(mark);
    }
    if (m_script == nullptr) {
        return;
    }
    if (quotes != 0 || mark.kind != kSplit) {
        if (quotes != 0 || !mark.value.empty()) {
            m_script->addValue(mark.value, quotes);
        }
        return;
    }
    // An unquoted split value: its fields, and blanks where it has them at
    // its ends, so that the words around it end where they would.
    Fields split;
    split.addUnquoted(mark);
    split.end();
    bool leading = !mark.value.empty() && isFieldSeparator(mark.value[0]);
    bool trailing = !mark.value.empty() && isFieldSeparator(mark.value[mark.value.length() - 1]);
    if (leading) {
        m_script->addText(' ');
    }
    m_script->addFields(split.fields());
    if (trailing && !split.fields().empty()) {
        m_script->addText(' ');
    }
}

// Moves `position` from the "#" of a comment to the line end after it.
void skipComment(const SString& text, unsigned int& position) {
    Mark mark;
    while (position < text.length() && text[position] != '\n') {
        if (text[position] != kMarkStart || !readMark(text, position, mark)) {
            ++position;
        }
    }
}

}  // namespace

SString CommandText::value(const SString& value) {
    return markOf(kWhole, value);
}

SString CommandText::splitValue(const SString& value) {
    return markOf(kSplit, value);
}

SString CommandText::plain(const SString& text) {
    SString result;
    result.reserve(text.length());
    Mark mark;
    for (unsigned int i = 0; i < text.length();) {
        if (text[i] == kMarkStart && readMark(text, i, mark)) {
            result += mark.value;
        } else {
            result += text[i++];
        }
    }
    return result;
}

SString CommandText::literalWords(const SString& text) {
    SString words;
    for (unsigned int i = 0; i < text.length();) {
        if (isBlank(text[i])) {
            ++i;
            continue;
        }
        WordReader word(text, true, nullptr);
        word.read(i);
        for (const SString& field : word.fields()) {
            if (!words.empty()) {
                words += ' ';
            }
            words += value(field);
        }
    }
    return words;
}

CommandText::CommandText(const SString& text, const StringDeque* extraArguments)
    : m_text(text), m_extraArguments(extraArguments), m_direct(false) {
    m_direct = splitPlainCommand();
    if (!m_direct) {
        m_arguments.clear();
        buildShellCommand();
    }
}

bool CommandText::splitPlainCommand() {
    for (unsigned int i = 0; i < m_text.length();) {
        char c = m_text[i];
        if (isBlank(c)) {
            ++i;
            continue;
        }
        if (isOperator(c)) {
            return false;
        }
        WordReader word(m_text, false, nullptr);
        word.read(i);
        bool commandName = m_arguments.count == 0;
        if (!word.evaluable() || (commandName && word.hasEquals())) {
            return false;
        }
        for (const SString& field : word.fields()) {
            m_arguments.push_back(field);
        }
    }
    if (m_arguments.count == 0 || isShellWord(m_arguments.at(0))) {
        return false;
    }
    for (long i = 0; m_extraArguments != nullptr && i < m_extraArguments->count; ++i) {
        m_arguments.push_back(m_extraArguments->at(i));
    }
    return true;
}

void CommandText::buildShellCommand() {
    ShellScript script;
    for (unsigned int i = 0; i < m_text.length();) {
        char c = m_text[i];
        if (isBlank(c) || isOperator(c)) {
            script.addText(c);
            ++i;
            continue;
        }
        if (c == '#') {
            // A comment runs to the end of the line; what it holds does not
            // matter, and a value in it must not end it.
            script.addText(c);
            skipComment(m_text, i);
            continue;
        }
        unsigned int start = i;
        WordReader probe(m_text, false, nullptr);
        probe.read(i);
        if (probe.hasValue() && probe.evaluable() && !probe.hasEquals()) {
            // Known whole: each of its fields is one value.
            script.addFields(probe.fields());
            continue;
        }
        WordReader word(m_text, false, &script);
        word.read(start);
    }
    script.finish(m_extraArguments, m_arguments);
}

SString CommandText::display() const {
    SString text = plain(m_text);
    for (long i = 0; m_extraArguments != nullptr && i < m_extraArguments->count; ++i) {
        text += joinText(" \"", m_extraArguments->at(i), '"');
    }
    return text;
}
