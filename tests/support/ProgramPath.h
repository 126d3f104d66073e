#pragma once
// norvane.exe as the tests that start it find it: NORVANE_APP_EXE, which the
// build gives with slashes, spelled as Windows spells it; empty when unset.

#include <cstdlib>
#include <string>

namespace testing_support {

inline std::string ProgramPath() {
    const char* exe = std::getenv("NORVANE_APP_EXE");
    std::string path = exe ? exe : "";
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    return path;
}

} // namespace testing_support
