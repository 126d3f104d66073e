#include "engine/ContainerSecuring.h"

#include "engine/ByteOrder.h"
#include "engine/CheckGpsTags.h"
#include "engine/Crc32.h"
#include "engine/PayloadStream.h"
#include "engine/PhotoWriting.h"
#include "engine/ResultCodes.h"
#include "engine/StdioFileStream.h"
#include "engine/Trace.h"
#include "engine/XmpPositions.h"

#include <algorithm>
#include <memory>

namespace layout {

namespace {

// An XMP packet is text of a few kilobytes; one larger than this is read as
// holding nothing (a file can claim any size).
constexpr uint64_t kMaxPacket = 64u << 20;
// As for a JPEG's EXIF data: crafted payloads can overlap, and clearing one
// can change another; rounds go on while a position remains, and past the
// last one every payload is zeroed whole.
constexpr int kMaxRounds = 4;

// The payload's bytes whole; false when it is empty, larger than limit or
// cannot be read.
bool ReadWhole(PayloadStream& stream, uint64_t limit, std::vector<uint8_t>& bytes) {
    const uint64_t size = stream.GetSize();
    if (size == 0 || size > limit)
        return false;
    bytes.resize(size_t(size));
    return stream.SetPos(0) && stream.Read(bytes.data(), 1, bytes.size()) == bytes.size();
}

// What the payloads hold, as the check codes say it.
struct Reading {
    bool nonZero = false;     // a position value that is not zero
    bool anyPosition = false; // a position at all
    bool anyTiff = false;     // TIFF data that could be read
};

// A movie's location values (ISO 6709 text, fixed-point numbers) are short:
// one longer than this is read as holding nothing.
constexpr uint64_t kMaxMovieValue = 4096;

bool IsDigit(uint8_t c) {
    return c >= '0' && c <= '9';
}

// True when a value still holds its position: a digit that is not 0 of ISO
// 6709 text, a byte that is not 0 of fixed-point values.
bool HoldsPosition(const std::vector<uint8_t>& bytes, PayloadKind kind) {
    for (uint8_t c : bytes)
        if (kind == PayloadKind::Iso6709 ? IsDigit(c) && c != '0' : c != 0)
            return true;
    return false;
}

// Clears a movie's value and lists what it held, as the EXIF tags of the
// same meaning plus kMovieTagMark: ISO 6709 text is latitude, longitude and
// maybe altitude, each starting with its sign; loci holds all three.
void ClearMovieValue(PayloadStream& stream, PayloadKind kind, RemovedTags& removedTags) {
    std::vector<uint8_t> bytes;
    if (!ReadWhole(stream, kMaxMovieValue, bytes) || !HoldsPosition(bytes, kind))
        return;
    int numbers = 3;
    if (kind == PayloadKind::Iso6709) {
        numbers = 0;
        for (size_t i = 0; i < bytes.size(); ++i) {
            numbers += (bytes[i] == '+' || bytes[i] == '-') && i + 1 < bytes.size() && IsDigit(bytes[i + 1]);
            if (IsDigit(bytes[i]))
                bytes[i] = '0';
        }
    } else {
        std::fill(bytes.begin(), bytes.end(), uint8_t(0));
    }
    stream.SetPos(0);
    stream.Write(bytes.data(), 1, bytes.size());
    for (int n = 0; n < numbers && n < 3; ++n) {
        Vardle::RemovedTag record;
        record.tag = Vardle::kMovieTagMark + 2 + 2 * uint32_t(n);
        removedTags.append(record);
    }
}

Reading ReadPayloads(FileOverlay& overlay, const Layout& layout) {
    Reading reading;
    for (const Payload& payload : layout.payloads) {
        PayloadStream stream(overlay, payload);
        if (payload.kind == PayloadKind::Iso6709 || payload.kind == PayloadKind::Zeroed) {
            std::vector<uint8_t> bytes;
            if (!ReadWhole(stream, kMaxMovieValue, bytes))
                continue;
            reading.anyPosition = true;
            reading.nonZero |= HoldsPosition(bytes, payload.kind);
            continue;
        }
        if (payload.kind == PayloadKind::Tiff) {
            int code = CheckExifData(stream, !payload.makerVersion);
            reading.nonZero |= code == checkcode::kNeedsSecuring;
            reading.anyPosition |= code == checkcode::kNeedsSecuring || code == checkcode::kAlreadySecure;
            reading.anyTiff |= code != checkcode::kNoExif;
        } else {
            std::vector<uint8_t> text;
            if (!ReadWhole(stream, kMaxPacket, text))
                continue;
            for (const xmp::Value& value : xmp::FindPositionsInPacket(text.data(), text.size())) {
                reading.anyPosition = true;
                reading.nonZero |= value.nonZero;
            }
        }
    }
    return reading;
}

int CheckCode(const Reading& reading, const Layout& layout) {
    if (reading.nonZero)
        return checkcode::kNeedsSecuring;
    // Nothing left to clear, yet something may hold a position: never
    // "already secure".
    if (!layout.reported.empty())
        return checkcode::kLocationKept;
    if (reading.anyPosition)
        return checkcode::kAlreadySecure;
    return reading.anyTiff ? checkcode::kNoPositionTags : checkcode::kNoExif;
}

void ZeroPayload(PayloadStream& stream) {
    static const uint8_t zeros[4096] = {};
    stream.SetPos(0);
    for (uint64_t left = stream.GetSize(); left > 0;) {
        size_t n = size_t(std::min<uint64_t>(left, sizeof zeros));
        if (stream.Write(zeros, 1, n) != n)
            return;
        left -= n;
    }
}

// Clears every payload in the overlay. Each XMP value found is listed as
// its EXIF tag plus kXmpTagMark, as for a JPEG.
void ClearPayloads(FileOverlay& overlay, const Layout& layout, RemovedTags& removedTags) {
    for (int round = 0;; ++round) {
        for (const Payload& payload : layout.payloads) {
            PayloadStream stream(overlay, payload);
            if (round == kMaxRounds) {
                ZeroPayload(stream);
                continue;
            }
            if (payload.kind == PayloadKind::Tiff) {
                ClearGpsTags(stream, removedTags, !payload.makerVersion);
                continue;
            }
            if (payload.kind == PayloadKind::Iso6709 || payload.kind == PayloadKind::Zeroed) {
                ClearMovieValue(stream, payload.kind, removedTags);
                continue;
            }
            std::vector<uint8_t> text;
            std::vector<xmp::Value> found;
            if (!ReadWhole(stream, kMaxPacket, text))
                continue;
            if (xmp::ClearAllPositionsInPacket(text.data(), text.size(), found)) {
                stream.SetPos(0);
                stream.Write(text.data(), 1, text.size());
            }
            for (const xmp::Value& value : found) {
                Vardle::RemovedTag record;
                record.tag = Vardle::kXmpTagMark + value.tag;
                removedTags.append(record);
            }
        }
        if (round == kMaxRounds || !ReadPayloads(overlay, layout).nonZero)
            return;
    }
}

bool Overlaps(const std::vector<Change>& changes, uint64_t from, uint64_t length) {
    for (const Change& change : changes)
        if (change.offset < from + length && from < change.offset + change.bytes.size())
            return true;
    return false;
}

// Works out anew every checksum that covers a changed byte and was right
// before: one that was wrong stays as it was, since no reader trusted it.
void MendChecksums(FileOverlay& overlay, const Layout& layout) {
    const std::vector<Change> changes = overlay.Changes();
    if (changes.empty())
        return;
    for (const Crc32Field& field : layout.crcs) {
        if (field.length > kMaxPacket || !Overlaps(changes, field.from, field.length))
            continue;
        std::vector<uint8_t> before(size_t(field.length)), now(size_t(field.length));
        uint8_t stored[4];
        if (overlay.ReadOriginal(field.from, before.data(), before.size()) != before.size() ||
            overlay.Read(field.from, now.data(), now.size()) != now.size() ||
            overlay.ReadOriginal(field.storedAt, stored, 4) != 4)
            continue;
        if (Crc32(before.data(), before.size()) != uint32_t(stdlib::LoadUnsigned(stored, 4, true)))
            continue;
        stdlib::StoreUnsigned(stored, Crc32(now.data(), now.size()), 4, true);
        overlay.Write(field.storedAt, stored, 4);
    }
}

// Copies the whole source to out with the changes made.
int CopyWithChanges(stdlib::Stream& source, const std::vector<Change>& changes, stdlib::Stream& out) {
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[photowrite::kCopyBlock]);
    if (!block || !source.SetPos(0))
        return securecode::kWriteFailed;
    const uint64_t size = source.GetSize();
    for (uint64_t at = 0; at < size;) {
        const size_t want = size_t(std::min<uint64_t>(size - at, photowrite::kCopyBlock));
        if (source.Read(block.get(), 1, want) != want)
            return securecode::kChangedMeanwhile; // the photo became shorter
        for (const Change& change : changes) {
            const uint64_t from = std::max(at, change.offset);
            const uint64_t to = std::min<uint64_t>(at + want, change.offset + change.bytes.size());
            if (from < to)
                std::copy(change.bytes.begin() + (from - change.offset),
                          change.bytes.begin() + (to - change.offset), block.get() + (from - at));
        }
        if (out.Write(block.get(), 1, want) != want)
            return securecode::kWriteFailed;
        at += want;
    }
    return 0;
}

int WriteInPlace(stdlib::StdioFileStream& file, const char* path, FileOverlay& overlay, Vardle::Route route) {
    if (!file.ReopenForRewrite(path))
        return securecode::kCannotOpenWrite;
    // The changes were worked out from the pages read: they must all still
    // be there, byte for byte.
    std::vector<photowrite::ReadPart> parts;
    for (const FileOverlay::ReadPage& page : overlay.PagesRead())
        parts.push_back({page.offset, page.bytes->data(), page.bytes->size()});
    if (!photowrite::StillHolds(file, parts))
        return securecode::kChangedMeanwhile;
    const std::vector<Change> changes = overlay.Changes();
    if (route != Vardle::Route::Fastest)
        return photowrite::ReplaceThroughSibling(path, file, [&](FILE* sibling) {
            stdlib::StdioFileStream out(sibling, stdlib::StdioFileStream::kBorrowed);
            return CopyWithChanges(file, changes, out);
        });
    for (const Change& change : changes)
        if (!file.SetPos(change.offset) ||
            file.Write(change.bytes.data(), 1, change.bytes.size()) != change.bytes.size()) {
            file.Close();
            return securecode::kWriteFailed;
        }
    if (changes.empty())
        return securecode::kSecured;
    return file.Finish() ? securecode::kSecured : securecode::kWriteFailed;
}

int ClearAndWrite(stdlib::StdioFileStream& file, FileOverlay& overlay, const Layout& layout, const char* path,
                  stdlib::Stream* destination, RemovedTags& removedTags, Vardle::Route route) {
    ClearPayloads(overlay, layout, removedTags);
    MendChecksums(overlay, layout);
    int code;
    if (destination) {
        code = CopyWithChanges(file, overlay.Changes(), *destination);
        destination->Flush();
        if (code == 0 && destination->IsError())
            code = securecode::kWriteFailed;
    } else {
        code = WriteInPlace(file, path, overlay, route);
    }
    if (code == securecode::kSecured && !layout.reported.empty())
        code = securecode::kLocationLeft;
    return code;
}

} // namespace

Reader ChooseReader(stdlib::Stream& file, Layout& layout) {
    uint8_t head[16] = {};
    size_t got = file.SetPos(0) ? file.Read(head, 1, sizeof head) : 0;
    Format format = SniffFormat(head, got);
    Reader reader = Reader::Jpeg;
    if (format != Format::Jpeg && format != Format::Unknown)
        reader = ReadLayout(file, layout) ? Reader::Container : Reader::Unusable;
    file.SetPos(0);
    return reader;
}

int CheckContainer(stdlib::Stream& file, const Layout& layout, std::vector<std::string>* otherLocations) {
    FileOverlay overlay(file);
    if (otherLocations)
        *otherLocations = layout.reported;
    return CheckCode(ReadPayloads(overlay, layout), layout);
}

int SecureContainer(stdlib::StdioFileStream& file, const Layout& layout, const char* sourcePath,
                    stdlib::Stream* destination, RemovedTags& removedTags, Vardle::Route route) {
    FileOverlay overlay(file);
    return ClearAndWrite(file, overlay, layout, sourcePath, destination, removedTags, route);
}

int SecureContainerIfNeeded(stdlib::StdioFileStream& file, const Layout& layout, const char* path,
                            int& checkCode, RemovedTags& removedTags, std::vector<std::string>* left) {
    FileOverlay overlay(file);
    checkCode = CheckCode(ReadPayloads(overlay, layout), layout);
    if (left && (checkCode == checkcode::kNeedsSecuring || checkCode == checkcode::kLocationKept))
        *left = layout.reported;
    if (checkCode != checkcode::kNeedsSecuring)
        return -1;
    int code = ClearAndWrite(file, overlay, layout, path, nullptr, removedTags, Vardle::Route::Fastest);
    if (left && code != securecode::kLocationLeft)
        left->clear();
    return code;
}

} // namespace layout
