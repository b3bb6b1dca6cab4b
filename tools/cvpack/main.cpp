// cvpack: builds launcher files and lists what they carry.
#include <cstdio>

int main() {
    fputs("cvpack: not available yet\n", stderr);
    return 1;
}
