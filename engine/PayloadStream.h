#pragma once
// A photo's metadata as the clearer sees it: the file's bytes read page by
// page into memory, changed there, and the changes written back only once
// everything is cleared (FileOverlay); and one payload of it, its extents
// joined, as a Stream the TIFF reader and the clearer work on
// (PayloadStream).
//
// A raw file is tens of megabytes of image data around a few kilobytes of
// directories: only the pages the readers touch are read, so securing such a
// file costs its metadata, not its size. Writes never grow anything: a
// payload keeps its length, and so does the file.

#include "engine/MetadataLayout.h"
#include "engine/Stream.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace layout {

// A run of changed bytes of the file.
struct Change {
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
};

class FileOverlay {
public:
    static constexpr uint32_t kPageSize = 16 * 1024;
    // Pages held at most (64 MB): past that a read gives nothing, and the
    // reader meets the end of its data. Real metadata is far smaller.
    static constexpr size_t kMaxPages = 4096;

    explicit FileOverlay(stdlib::Stream& file);

    uint64_t Size() const { return size; }
    // Copies the bytes at [at, at + n) as they stand now; returns how many
    // could be had (fewer at the end of the file or when a read fails).
    size_t Read(uint64_t at, uint8_t* out, size_t n);
    // The bytes at [at, at + n) as they were read from the file.
    size_t ReadOriginal(uint64_t at, uint8_t* out, size_t n);
    // Changes bytes in memory; returns how many lay inside the file.
    size_t Write(uint64_t at, const uint8_t* data, size_t n);

    // The runs of bytes that differ from the file, in file order. Runs a few
    // bytes apart are joined (the bytes between keep their values): a patch
    // of dozens of values costs a write or two.
    std::vector<Change> Changes() const;
    // Every page read, as read: to confirm the file still holds it.
    struct ReadPage {
        uint64_t offset;
        const std::vector<uint8_t>* bytes;
    };
    std::vector<ReadPage> PagesRead() const;
    bool ReadFailed() const { return readFailed; }

private:
    struct Page {
        std::vector<uint8_t> original;
        std::vector<uint8_t> current;
    };
    Page* page(uint64_t index);

    stdlib::Stream& file;
    uint64_t size = 0;
    std::map<uint64_t, Page> pages;
    bool readFailed = false;
};

// One payload of the overlay as a stream: position 0 is its first byte.
class PayloadStream : public stdlib::Stream {
public:
    PayloadStream(FileOverlay& overlay, const Payload& payload);

    bool Seek(int64_t offset, int origin) override;
    bool IsEof() override { return endFlag; }
    bool IsClosed() override { return size == 0; }
    uint64_t Tell() override { return position; }
    bool SetPos(uint64_t at) override;
    uint64_t GetSize() override { return size; }
    bool SetSize(uint64_t) override { return false; }
    int GetByte() override { return int(readUnsigned(1)); }
    uint16_t ReadU16() override { return uint16_t(readUnsigned(2)); }
    uint32_t ReadU32() override { return uint32_t(readUnsigned(4)); }
    uint64_t ReadU64() override { return readUnsigned(8); }
    float ReadFloat() override;
    double ReadDouble() override;
    size_t Read(void* buffer, size_t itemSize, size_t itemCount) override;
    char* ReadLine(char*, int) override { return nullptr; }
    size_t PutByte(uint8_t value) override { return Write(&value, 1, 1); }
    size_t WriteU16(uint16_t value) override { return writeUnsigned(value, 2); }
    size_t WriteU32(uint32_t value) override { return writeUnsigned(value, 4); }
    size_t WriteU64(uint64_t value) override { return writeUnsigned(value, 8); }
    size_t WriteFloat(float value) override;
    size_t WriteDouble(double value) override;
    size_t Write(const void* buffer, size_t itemSize, size_t itemCount) override;
    size_t WriteString(const char*) override { return 0; }
    int Printf(const char*, ...) override { return 0; }

private:
    // Reads or writes n bytes at the position through the extents.
    size_t transfer(uint8_t* bytes, size_t n, bool write);
    uint64_t readUnsigned(unsigned width);
    size_t writeUnsigned(uint64_t value, unsigned width);

    FileOverlay& overlay;
    std::vector<Extent> extents;
    uint64_t size = 0;
    uint64_t position = 0;
    bool endFlag = false;
};

} // namespace layout
