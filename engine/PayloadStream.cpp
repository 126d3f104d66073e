#include "engine/PayloadStream.h"

#include "engine/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace layout {

FileOverlay::FileOverlay(stdlib::Stream& f) : file(f), size(f.GetSize()) {}

FileOverlay::Page* FileOverlay::page(uint64_t index) {
    auto found = pages.find(index);
    if (found != pages.end())
        return &found->second;
    if (pages.size() >= kMaxPages)
        return nullptr;
    const uint64_t at = index * kPageSize;
    if (at >= size)
        return nullptr;
    const size_t want = size_t(std::min<uint64_t>(kPageSize, size - at));
    Page fresh;
    fresh.original.resize(want);
    if (!file.SetPos(at) || file.Read(fresh.original.data(), 1, want) != want) {
        readFailed = true;
        return nullptr;
    }
    fresh.current = fresh.original;
    return &pages.emplace(index, std::move(fresh)).first->second;
}

size_t FileOverlay::Read(uint64_t at, uint8_t* out, size_t n) {
    size_t done = 0;
    while (done < n && at + done < size) {
        Page* p = page((at + done) / kPageSize);
        if (!p)
            break;
        size_t inPage = size_t((at + done) % kPageSize);
        size_t part = std::min(n - done, p->current.size() - inPage);
        std::memcpy(out + done, p->current.data() + inPage, part);
        done += part;
    }
    return done;
}

size_t FileOverlay::ReadOriginal(uint64_t at, uint8_t* out, size_t n) {
    size_t done = 0;
    while (done < n && at + done < size) {
        Page* p = page((at + done) / kPageSize);
        if (!p)
            break;
        size_t inPage = size_t((at + done) % kPageSize);
        size_t part = std::min(n - done, p->original.size() - inPage);
        std::memcpy(out + done, p->original.data() + inPage, part);
        done += part;
    }
    return done;
}

size_t FileOverlay::Write(uint64_t at, const uint8_t* data, size_t n) {
    size_t done = 0;
    while (done < n && at + done < size) {
        Page* p = page((at + done) / kPageSize);
        if (!p)
            break;
        size_t inPage = size_t((at + done) % kPageSize);
        size_t part = std::min(n - done, p->current.size() - inPage);
        std::memcpy(p->current.data() + inPage, data + done, part);
        done += part;
    }
    return done;
}

std::vector<Change> FileOverlay::Changes() const {
    constexpr uint64_t kJoinGap = 64;
    std::vector<Change> runs;
    for (const auto& [index, p] : pages) {
        const uint64_t base = index * kPageSize;
        for (size_t i = 0; i < p.current.size(); ++i) {
            if (p.current[i] == p.original[i])
                continue;
            const uint64_t at = base + i;
            if (!runs.empty()) {
                Change& last = runs.back();
                const uint64_t end = last.offset + last.bytes.size();
                if (at >= end && at - end <= kJoinGap) {
                    // The bytes between are unchanged: they lie in this page
                    // or the one before, both held.
                    for (uint64_t k = end; k < at; ++k) {
                        const Page& q = pages.at(k / kPageSize);
                        last.bytes.push_back(q.current[size_t(k % kPageSize)]);
                    }
                    last.bytes.push_back(p.current[i]);
                    continue;
                }
            }
            runs.push_back({at, {p.current[i]}});
        }
    }
    return runs;
}

std::vector<FileOverlay::ReadPage> FileOverlay::PagesRead() const {
    std::vector<ReadPage> read;
    for (const auto& [index, p] : pages)
        read.push_back({index * kPageSize, &p.original});
    return read;
}

PayloadStream::PayloadStream(FileOverlay& o, const Payload& payload) : overlay(o) {
    // Only what lies inside the file counts; the readers promise that, and
    // the stream does not rely on it.
    for (const Extent& e : payload.extents) {
        if (e.offset >= overlay.Size() || e.length == 0)
            continue;
        Extent inside = e;
        inside.length = std::min(e.length, overlay.Size() - e.offset);
        extents.push_back(inside);
        size += inside.length;
    }
}

bool PayloadStream::Seek(int64_t offset, int origin) {
    uint64_t base;
    switch (origin) {
    case 0:
        base = 0;
        break;
    case 1:
        base = position;
        break;
    case 2:
        base = size;
        break;
    default:
        return false;
    }
    if (offset < 0 ? uint64_t(-(offset + 1)) + 1 > base : uint64_t(offset) > size - base)
        return false;
    position = offset < 0 ? base - (uint64_t(-(offset + 1)) + 1) : base + uint64_t(offset);
    endFlag = false;
    return true;
}

bool PayloadStream::SetPos(uint64_t at) {
    if (at > size)
        return false;
    position = at;
    endFlag = false;
    return true;
}

size_t PayloadStream::transfer(uint8_t* bytes, size_t n, bool write) {
    size_t done = 0;
    uint64_t start = 0; // payload offset of the extent
    for (const Extent& e : extents) {
        if (done == n)
            break;
        const uint64_t at = position + done;
        if (at >= start + e.length) {
            start += e.length;
            continue;
        }
        const uint64_t inExtent = at - start;
        const size_t part = size_t(std::min<uint64_t>(n - done, e.length - inExtent));
        const uint64_t fileAt = e.offset + inExtent;
        size_t got =
            write ? overlay.Write(fileAt, bytes + done, part) : overlay.Read(fileAt, bytes + done, part);
        done += got;
        if (got != part)
            break;
        start += e.length;
    }
    position += done;
    return done;
}

size_t PayloadStream::Read(void* buffer, size_t itemSize, size_t itemCount) {
    if (!buffer || !itemSize)
        return 0;
    uint64_t wanted = itemCount > std::numeric_limits<uint64_t>::max() / itemSize
                          ? std::numeric_limits<uint64_t>::max()
                          : uint64_t(itemSize) * itemCount;
    const uint64_t available = size - position;
    const size_t n = size_t(std::min(wanted, available));
    const size_t got = transfer(static_cast<uint8_t*>(buffer), n, false);
    if (wanted > got)
        endFlag = true;
    return got / itemSize;
}

size_t PayloadStream::Write(const void* buffer, size_t itemSize, size_t itemCount) {
    if (!buffer || !itemSize || itemCount > (size - position) / itemSize)
        return 0; // a payload never grows
    std::vector<uint8_t> copy(static_cast<const uint8_t*>(buffer),
                              static_cast<const uint8_t*>(buffer) + itemSize * itemCount);
    return transfer(copy.data(), copy.size(), true) / itemSize;
}

uint64_t PayloadStream::readUnsigned(unsigned width) {
    uint8_t bytes[8];
    if (width > size - position) {
        endFlag = true;
        return 0;
    }
    if (transfer(bytes, width, false) != width) {
        endFlag = true;
        return 0;
    }
    return stdlib::LoadUnsigned(bytes, width, bigEndian);
}

size_t PayloadStream::writeUnsigned(uint64_t value, unsigned width) {
    uint8_t bytes[8];
    stdlib::StoreUnsigned(bytes, value, width, bigEndian);
    return Write(bytes, width, 1);
}

float PayloadStream::ReadFloat() {
    uint32_t bits = ReadU32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

double PayloadStream::ReadDouble() {
    uint64_t bits = ReadU64();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

size_t PayloadStream::WriteFloat(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return WriteU32(bits);
}

size_t PayloadStream::WriteDouble(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return WriteU64(bits);
}

} // namespace layout
