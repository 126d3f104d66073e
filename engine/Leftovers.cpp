#include "engine/Leftovers.h"

#include "engine/CodestreamParser.h"
#include "engine/FileOs.h"
#include "engine/StdioFileStream.h"

#include <cstring>

namespace {

// True when the file is a JPEG codestream from SOI to EOI.
bool MapsToEnd(const char* path) {
    stdlib::StdioFileStream file(path, "rb");
    if (file.IsClosed())
        return false;
    CodestreamParser codestream;
    return codestream.IsUsable(codestream.BuildMap(file)) && !codestream.cutShort;
}

} // namespace

bool IsLeftoverName(const char* name) {
    size_t n = name ? std::strlen(name) : 0;
    size_t suffix = sizeof fileos::kTemporarySuffix - 1;
    return n > suffix && std::strcmp(name + n - suffix, fileos::kTemporarySuffix) == 0;
}

std::string PhotoOfLeftover(const char* path) {
    if (!IsLeftoverName(path))
        return std::string();
    return std::string(path, std::strlen(path) - (sizeof fileos::kTemporarySuffix - 1));
}

Leftover ResolveLeftover(const char* path) {
    if (!IsLeftoverName(path))
        return Leftover::kNone;
    std::string photo = PhotoOfLeftover(path);
    if (!fileos::Exists(photo.c_str())) {
        // Whole: the map reaches EOI. A file cut short (the program ended
        // while it was written) does not, nor does one another program still
        // holds open, which cannot be read. (The check takes a photo cut in
        // its image data for a photo, rightly: here it must be whole.)
        if (!MapsToEnd(path))
            return Leftover::kKept;
        if (fileos::PutInPlace(path, photo.c_str()))
            return Leftover::kRestored;
        if (!fileos::Exists(photo.c_str()))
            return Leftover::kKept;
        // A photo arrived under the name meanwhile: it wins.
    }
    fileos::RemoveFile(path);
    return Leftover::kRemoved;
}
