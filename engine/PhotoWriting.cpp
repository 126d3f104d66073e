#include "engine/PhotoWriting.h"

#include <cstring>

namespace photowrite {

int CopyBlocks(stdlib::Stream& source, stdlib::Stream& out, uint64_t limit, uint8_t* block) {
    while (limit > 0) {
        size_t want = limit < kCopyBlock ? size_t(limit) : kCopyBlock;
        size_t got = source.Read(block, 1, want);
        if (got == 0)
            break;
        if (out.Write(block, 1, got) != got)
            return securecode::kWriteFailed;
        limit -= got;
    }
    return 0;
}

bool IsSameFile(const char* a, const char* b) {
    return std::strcmp(a, b) == 0 || fileos::SameFile(a, b);
}

// The APP1 segments near a JPEG's start are read back in one read.
bool StillHolds(stdlib::StdioFileStream& file, const std::vector<ReadPart>& parts) {
    constexpr uint64_t kOneRead = 1u << 20;
    uint64_t from = UINT64_MAX, to = 0;
    for (const ReadPart& part : parts) {
        from = part.offset < from ? part.offset : from;
        to = part.offset + part.size > to ? part.offset + part.size : to;
    }
    if (parts.empty())
        return true;
    if (to - from <= kOneRead) {
        std::vector<uint8_t> now(size_t(to - from));
        if (!file.SetPos(from) || file.Read(now.data(), 1, now.size()) != now.size())
            return false;
        for (const ReadPart& part : parts)
            if (part.size && std::memcmp(now.data() + (part.offset - from), part.bytes, part.size) != 0)
                return false;
        return true;
    }
    for (const ReadPart& part : parts) {
        std::vector<uint8_t> now(part.size);
        if (!file.SetPos(part.offset) || file.Read(now.data(), 1, part.size) != part.size ||
            (part.size && std::memcmp(now.data(), part.bytes, part.size) != 0))
            return false;
    }
    return true;
}
} // namespace photowrite
