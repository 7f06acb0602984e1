// surround-host: a command-line host for the Quorveil Surround library.
#include <cstdio>

int main() {
    std::fprintf(stderr, "surround-host: not built yet\n");
    return 2;
}
