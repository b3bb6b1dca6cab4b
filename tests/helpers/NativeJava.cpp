// A stand-in for a JVM's Java that is an ELF program, as a real one is (the
// verified-JVM cache answers nothing for a script): it runs the shell script
// <its own path>.sh with its arguments, so that a test decides what it does.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<char> self(4096);
    ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length < 0) {
        perror("/proc/self/exe");
        return 127;
    }
    std::string script = std::string(self.data(), length) + ".sh";
    std::vector<char*> args = {const_cast<char*>("/bin/sh"), script.data()};
    args.insert(args.end(), argv + 1, argv + argc);
    args.push_back(nullptr);
    execv(args[0], args.data());
    perror(args[0]);
    return 127;
}
