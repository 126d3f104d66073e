#include "cli/FileList.h"

#include "engine/JpegName.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

void Walk(const fs::path& folder, std::vector<FileListEntry>& out) {
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(*it);
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
    for (const fs::directory_entry& entry : entries) {
        std::string name = entry.path().filename().string();
        if (entry.is_directory(ec)) {
            if (name.empty() || name[0] != '.')
                Walk(entry.path(), out);
        } else if (IsJpegName(name.c_str())) {
            out.push_back({entry.path().string(), true});
        }
    }
}

} // namespace

std::vector<FileListEntry> CollectFiles(const std::vector<std::string>& arguments) {
    std::vector<FileListEntry> out;
    for (const std::string& argument : arguments) {
        std::error_code ec;
        fs::file_status status = fs::status(argument, ec);
        if (fs::is_directory(status))
            Walk(argument, out);
        else
            out.push_back({argument, fs::exists(status)});
    }
    return out;
}
