#include "cli/FileList.h"

#include "engine/FileOs.h"
#include "engine/PhotoName.h"
#include "engine/Leftovers.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Names go through u8path and u8string: on Windows std::filesystem keeps
// UTF-16 names, and the plain narrow conversions of the runtime need not be
// UTF-8.
class Walk {
public:
    explicit Walk(const FileVisitor& visit) : m_visit(visit) {}

    void Argument(const std::string& argument) {
        std::error_code ec;
        fs::path path = fs::u8path(argument);
        fs::file_status status = fs::status(path, ec);
        if (fs::is_directory(status))
            Folder(path);
        else
            m_visit({argument, fs::is_regular_file(status)});
    }

private:
    struct Entry {
        std::string name;
        fs::path path;
    };

    void Folder(const fs::path& folder) {
        // A folder that cannot tell who it is is not entered either: it could
        // be one already entered, and the walk would never end.
        fileos::FileId id;
        if (!fileos::GetFileId(folder.u8string().c_str(), id) || !m_entered.insert(id).second)
            return;
        std::error_code ec;
        std::vector<Entry> entries;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            entries.push_back({it->path().filename().u8string(), it->path()});
        // UTF-8 byte order is code point order, the same on every system.
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return a.name < b.name; });
        for (const Entry& entry : entries) {
            fs::file_status status = fs::status(entry.path, ec); // through links
            if (fs::is_directory(status)) {
                if (entry.name.empty() || entry.name[0] != '.')
                    Folder(entry.path);
            } else if (fs::is_regular_file(status) && IsPhotoName(entry.name.c_str())) {
                m_visit({entry.path.u8string(), true});
            } else if (fs::is_regular_file(status) && IsLeftoverName(entry.name.c_str())) {
                // A rewrite's temporary file, left by a run that was ended;
                // one that is put back in its photo's place is the photo.
                std::string photo = PhotoOfLeftover(entry.path.u8string().c_str());
                if (ResolveLeftover(entry.path.u8string().c_str()) == Leftover::kRestored &&
                    IsPhotoName(PhotoOfLeftover(entry.name.c_str()).c_str()))
                    m_visit({photo, true});
            }
        }
    }

    const FileVisitor& m_visit;
    std::set<fileos::FileId> m_entered;
};

} // namespace

void ForEachFile(const std::vector<std::string>& arguments, const FileVisitor& visit) {
    Walk walk(visit);
    for (const std::string& argument : arguments)
        walk.Argument(argument);
}
