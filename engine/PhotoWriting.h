#pragma once
// What every way of securing a photo shares when it writes: copying, the
// confirmation that the photo still holds what was read, and the swap of a
// complete new photo over the old one. See SecureGpsTags.cpp for why a
// photo is written this way.

#include "engine/FileOs.h"
#include "engine/ResultCodes.h"
#include "engine/StdioFileStream.h"

#include <cstdint>
#include <vector>

namespace photowrite {

constexpr size_t kCopyBlock = 65536;

// Copies bytes of the source from its current position to out, in blocks of
// kCopyBlock, until limit bytes were copied or a read yields nothing.
// Returns 0 or securecode::kWriteFailed.
int CopyBlocks(stdlib::Stream& source, stdlib::Stream& out, uint64_t limit, uint8_t* block);

// Source and destination count as one file when the paths name the same
// file, however they are spelt.
bool IsSameFile(const char* a, const char* b);

// Bytes of the photo as they were read, and where.
struct ReadPart {
    uint64_t offset;
    const uint8_t* bytes;
    size_t size;
};

// True when the photo, open in file, still holds every part where it was
// read. Parts that lie close together are read back in one read: the
// confirmation of a patch costs the common route one system call.
bool StillHolds(stdlib::StdioFileStream& file, const std::vector<ReadPart>& parts);

// Writes the new photo into a file beside the photo with write(FILE*),
// which returns 0 or a result code, and swaps it in over the photo, held
// (open in photo) until the new file is complete. The sibling is gone again
// on every failure (see fileos::Replacement).
template <class WriteFn>
int ReplaceThroughSibling(const char* path, stdlib::StdioFileStream& photo, WriteFn write) {
    fileos::Replacement sibling(path);
    if (!sibling.File())
        return securecode::kCannotOpenWrite;
    if (int code = write(sibling.File()))
        return code;
    fileos::FileStamp held;
    if (!sibling.Complete() || !photo.GetStamp(held))
        return securecode::kWriteFailed;
    photo.Close(); // a rename cannot replace a file that is open
    switch (sibling.SwapIn(&held)) {
    case fileos::Replacement::kSwapped:
        return securecode::kSecured;
    case fileos::Replacement::kTargetChanged:
        return securecode::kChangedMeanwhile;
    default:
        return securecode::kWriteFailed;
    }
}

} // namespace photowrite
