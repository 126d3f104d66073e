#pragma once
// exiftool as the judge of what a photo discloses: the position values it
// reads, wherever it finds them (EXIF, XMP of any namespace, a FLIR record).
// Built natively only: a Windows test program has no exiftool to run, and
// there Available() is false, so the tests that ask it skip that part.

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

class ExiftoolOracle {
public:
    static bool Available() {
#ifdef _WIN32
        return false;
#else
        static const bool there = [] {
            int status = -1;
            Run("exiftool -ver", &status);
            return status == 0;
        }();
        return there;
#endif
    }

    using Found = std::map<std::string, std::string>;

    // "Group:Tag" -> value of every position exiftool reads with a value
    // other than zero (composite tags, which repeat them, left out), per
    // path; one run of exiftool for all of them.
    static std::map<std::string, Found> Positions(const std::vector<std::string>& paths) {
        std::string command = "exiftool -args -G1 -a -n";
        for (const std::string& path : paths)
            command += " '" + path + "'";
        std::istringstream lines(Run(command + " 2>/dev/null"));
        std::map<std::string, Found> found;
        std::string line, current = paths.size() == 1 ? paths[0] : "";
        for (const std::string& path : paths)
            found[path];
        while (std::getline(lines, line)) {
            if (line.rfind("======== ", 0) == 0) {
                current = line.substr(9);
                continue;
            }
            size_t eq = line.find('='), colon = line.find(':');
            if (line.empty() || line[0] != '-' || eq == std::string::npos || colon == std::string::npos || colon > eq)
                continue;
            std::string group = line.substr(1, colon - 1), name = line.substr(colon + 1, eq - colon - 1);
            if (group != "Composite" && IsPositionName(name) && !ReadsAsZero(line.substr(eq + 1)))
                found[current][line.substr(1, eq - 1)] = line.substr(eq + 1);
        }
        return found;
    }

private:
    static bool IsPositionName(const std::string& name) {
        for (const char* n : {"GPSLatitude", "GPSLongitude", "GPSAltitude", "GPSDestLatitude", "GPSDestLongitude",
                              "GpsLatitude", "GpsLongitude", "GpsLongtitude", "GPSLongtitude", "AbsoluteAltitude"})
            if (name == n)
                return true;
        return false;
    }
    static bool ReadsAsZero(const std::string& value) {
        std::istringstream words(value);
        std::string w;
        while (words >> w)
            if (std::strtod(w.c_str(), nullptr) != 0.0)
                return false;
        return true;
    }
    static std::string Run(const std::string& command, int* status = nullptr) {
        std::string out;
#ifndef _WIN32
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe)
            return out;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        int rc = pclose(pipe);
        if (status)
            *status = rc;
#else
        (void)command;
        (void)status;
#endif
        return out;
    }
};

} // namespace testing_support
