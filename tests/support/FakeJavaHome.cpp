#include "support/FakeJavaHome.h"

#include "support/TestSupport.h"

namespace testsupport {

namespace {

// The fields of a record whose fields all end with a NUL byte.
std::vector<std::string> fieldsOf(const std::string& record) {
    std::vector<std::string> fields;
    for (size_t start = 0, end; (end = record.find('\0', start)) != std::string::npos;
         start = end + 1) {
        fields.push_back(record.substr(start, end - start));
    }
    return fields;
}

}  // namespace

FakeJavaHome::FakeJavaHome(const std::string& home, const std::string& body, const std::string& exe,
                           bool native)
    : home_(home), java_(home + "/" + exe) {
    makeDirectories(java_.substr(0, java_.rfind('/')));
    if (native) {
        writeFile(java_, readFile(nativeJavaPath()), 0755);
    }
    writeFile(native ? java_ + ".sh" : java_,
              "#!/bin/sh\n"
              "for a in \"$@\"; do printf '%s\\000' \"$a\"; done > " +
                  shellQuote(java_ + ".args") + "\ncat /proc/$$/environ > " +
                  shellQuote(java_ + ".env") + "\npwd -P > " + shellQuote(java_ + ".cwd") +
                  "\nif [ -n \"$CVTEST_JAVA_RUNS\" ]; then printf '%s\\n' " + shellQuote(home) +
                  " >> \"$CVTEST_JAVA_RUNS\"; fi\n" + body,
              0755);
}

std::vector<std::string> FakeJavaHome::args() const {
    return fieldsOf(readFile(java_ + ".args"));
}

std::optional<std::string> FakeJavaHome::env(const std::string& name) const {
    for (const std::string& variable : fieldsOf(readFile(java_ + ".env"))) {
        if (variable.compare(0, name.size() + 1, name + "=") == 0) {
            return variable.substr(name.size() + 1);
        }
    }
    return std::nullopt;
}

std::string FakeJavaHome::cwd() const {
    std::string line = readFile(java_ + ".cwd");
    return line.substr(0, line.size() - 1);
}

FakeJavaHome writeVerifyingJava(const std::string& home, const std::string& values,
                                const std::string& exe) {
    return FakeJavaHome(home, "printf '1739021872\\n" + values + "'\n", exe);
}

}  // namespace testsupport
