// Stands in for the browser in the program's tests: registered as the
// handler of https addresses, it writes the address it was asked to open
// (its second argument) as one line to the file named by its first.
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    FILE* out = std::fopen(argv[1], "ab");
    if (!out)
        return 1;
    std::fprintf(out, "%s\n", argv[2]);
    return std::fclose(out) == 0 ? 0 : 1;
}
