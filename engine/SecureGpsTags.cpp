// Writing a secured photo.
//
// The source is mapped segment by segment, its EXIF data gathered into memory
// and cleared there. The new photo is the old one with, in order: every
// segment rewritten from the map, the EXIF data written back as APP1
// segments at the place of the first EXIF segment, the entropy-coded data
// after each SOS and everything after EOI copied unchanged.
//
// A photo must never be lost, so an in-place rewrite never writes into the
// photo until the new one exists in full:
//  - When the rewrite would reproduce the file byte for byte except the
//    cleared values (one EXIF segment, nothing dropped or joined: the common
//    case), only the changed value bytes are written into the file. No byte
//    outside the GPS values is touched and the file keeps its identity.
//  - Otherwise the new photo is built in memory (or, when memory for it is
//    lacking, streamed into a file beside the photo), written and flushed
//    to "<photo name>.norvane-tmp" beside the photo, and renamed over it in
//    one step. On any failure the new file is deleted and the photo stays
//    as it was.
// Source and destination count as one file when the paths name the same
// file, however they are spelt.
//
// Another program may write the photo while it is being secured (an editor
// saving, a sync client). The bytes written must be computed from the very
// bytes they replace, and a photo changed meanwhile is left to its writer:
//  1. The photo is read, mapped and checked through a handle that shares
//     reading, writing and deleting, and let go again.
//  2. It is taken for writing through a handle that keeps every other
//     writer out (fileos::OpenForRewrite; on POSIX systems only opened) and
//     confirmed to hold what was read: for a patch, the bytes of the
//     segments to be patched; for a rewrite, which reads the whole photo, a
//     new map and the same EXIF and XMP data.
//  3. A patch is written through that handle. A rewrite is read through it,
//     its new file completed beside the photo, and the handle kept until
//     then; the photo's stamp (identity, size, last write) is taken, the
//     handle closed (no rename can replace an open file) and the stamp
//     confirmed once more just before the rename.
// A photo that failed a confirmation is left as its writer made it and
// reported as kChangedMeanwhile: the callers take it as newly arrived.
//
// Each open of a file is a round trip to the system (under Wine, several to
// its server). Photos that need nothing are opened once, for reading; a
// patch costs one more open and one more read, for the confirmation. A photo
// that cannot be had for writing (read only, held open by another program
// that writes it or shares no writing) stays untouched: code 5.

#include "engine/SecureGpsTags.h"

#include "engine/CheckGpsTags.h"
#include "engine/CodestreamParser.h"
#include "engine/ContainerSecuring.h"
#include "engine/ExifGather.h"
#include "engine/FileOs.h"
#include "engine/FlirRecords.h"
#include "engine/OtherLocations.h"
#include "engine/PhotoWriting.h"
#include "engine/ResultCodes.h"
#include "engine/StdioFileStream.h"
#include "engine/Trace.h"
#include "engine/XmpPackets.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

using namespace photowrite;
using MapItem = CodestreamParser::MapItem;

constexpr uint8_t kSOS = 0xDA, kAPP1 = 0xE1;
constexpr uint64_t kMaxExifChunk = 65527;
constexpr size_t kMergeGap = 64;
const uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

const char* Printable(const char* path) {
    return path ? path : "(null)";
}

const XmpSegment* FindSegment(const std::vector<XmpSegment>& segments, uint32_t mapIndex) {
    for (const XmpSegment& segment : segments)
        if (segment.mapIndex == mapIndex)
            return &segment;
    return nullptr;
}

bool WriteExifSegments(const stdlib::MemStream& exif, stdlib::Stream& out) {
    uint64_t size = const_cast<stdlib::MemStream&>(exif).GetSize();
    const uint8_t* data = exif.Data();
    for (uint64_t at = 0; at < size;) {
        uint64_t chunk = size - at < kMaxExifChunk ? size - at : kMaxExifChunk;
        bool ok = out.PutByte(0xFF) == 1 && out.PutByte(kAPP1) == 1 &&
                  out.WriteU16(uint16_t(chunk + 8)) == 1 && out.Write(kExifHeader, 1, 6) == 6 &&
                  out.Write(data + at, 1, size_t(chunk)) == chunk;
        if (!ok)
            return false;
        at += chunk;
    }
    return true;
}

// Writes the new photo to out (steps: segments in map order, entropy-coded
// data, tail). Returns 0 or the result code.
int WriteRewrite(stdlib::Stream& source, const CodestreamParser& codestream, const stdlib::MemStream& exif,
                 const gen::array<bool>& keep, const std::vector<XmpSegment>& clearedXmp, stdlib::Stream& out) {
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[kCopyBlock]);
    if (!block)
        return securecode::kWriteFailed;
    const auto& map = codestream.map;
    const uint64_t sourceSize = source.GetSize();
    bool exifWritten = false;
    for (uint32_t i = 0; i < map.GetCount(); ++i) {
        const MapItem& item = map[i];
        if (item.marker == kAPP1 && !keep[i]) {
            if (!exifWritten && !WriteExifSegments(exif, out))
                return securecode::kWriteFailed;
            exifWritten = true;
            continue;
        }
        if (out.PutByte(0xFF) != 1 || out.PutByte(item.marker) != 1)
            return securecode::kWriteFailed;
        if (item.length == 0) {
            if (CodestreamParser::HasLengthField(item.marker) && out.WriteU16(2) != 1)
                return securecode::kWriteFailed;
        } else {
            if (out.WriteU16(uint16_t(item.length + 2)) != 1)
                return securecode::kWriteFailed;
            const XmpSegment* cleared = FindSegment(clearedXmp, i);
            if (cleared && cleared->payload.size() == item.length) {
                if (out.Write(cleared->payload.data(), 1, item.length) != item.length)
                    return securecode::kWriteFailed;
            } else if (!source.SetPos(item.offset) || source.Read(block.get(), 1, item.length) != item.length)
                return securecode::kUnreadableJpeg;
            else if (out.Write(block.get(), 1, item.length) != item.length)
                return securecode::kWriteFailed;
        }
        if (item.marker == kSOS) {
            uint64_t from = item.offset + item.length;
            uint64_t to = sourceSize;
            if (i + 1 < map.GetCount()) {
                const MapItem& next = map[i + 1];
                uint64_t markerBytes = CodestreamParser::HasLengthField(next.marker) ? 4 : 2;
                to = next.offset >= markerBytes ? next.offset - markerBytes : 0;
            }
            if (to > from) {
                if (!source.SetPos(from))
                    return securecode::kUnreadableJpeg;
                if (int code = CopyBlocks(source, out, to - from, block.get()))
                    return code;
            }
        }
    }
    // Everything after EOI is copied, always: where the source's read
    // position happens to be (a short photo may have been read to its end
    // while it was mapped) says nothing about whether bytes follow EOI. A map
    // that ends with SOS belongs to a photo cut short in its image data,
    // which was copied to the end of the file with that scan: no tail.
    trace::Printf("Tail\n");
    const MapItem& last = map[map.GetCount() - 1];
    if (last.marker == kSOS)
        return 0;
    if (!source.SetPos(last.offset + last.length))
        return securecode::kUnreadableJpeg;
    if (int code = CopyBlocks(source, out, UINT64_MAX, block.get()))
        return code;
    return 0;
}

// The in-place patch applies when rewriting from the map would give back the
// file itself apart from the EXIF values: nothing skipped, no length field
// mended, no short APP1 dropped, and exactly one EXIF segment, written back
// with its own length and header.
bool PatchReproducesRewrite(stdlib::Stream& source, const CodestreamParser& codestream,
                            const gen::array<bool>& keep, uint64_t exifSize, const MapItem** exifItem) {
    *exifItem = nullptr;
    if (codestream.bytesSkippedOutsideScans != 0 || codestream.shortLengthFields != 0)
        return false;
    const auto& map = codestream.map;
    for (uint32_t i = 0; i < map.GetCount(); ++i) {
        if (map[i].marker != kAPP1 || keep[i])
            continue;
        if (*exifItem || map[i].length < 7)
            return false; // a second EXIF segment (joined) or a short APP1 (dropped)
        *exifItem = &map[i];
    }
    if (!*exifItem)
        return exifSize == 0;
    uint8_t header[6];
    if (exifSize != (*exifItem)->length - 6u || !source.SetPos((*exifItem)->offset) ||
        source.Read(header, 1, 6) != 6)
        return false;
    return std::memcmp(header, kExifHeader, 6) == 0;
}

// Writes the bytes where now differs from before into the file, open for
// writing, at fileOffset. False when a write fails.
bool WriteChangedBytes(stdlib::StdioFileStream& file, uint64_t fileOffset, const uint8_t* before,
                       const uint8_t* now, size_t size) {
    for (size_t at = 0; at < size;) {
        if (before[at] == now[at]) {
            ++at;
            continue;
        }
        // Runs a few bytes apart are written as one: the bytes between get
        // their own values again, and the photo gets one write, not dozens.
        size_t end = at;
        for (size_t same = 0; end < size && same <= kMergeGap; ++end)
            same = before[end] == now[end] ? same + 1 : 0;
        while (end > at && before[end - 1] == now[end - 1])
            --end;
        if (!file.SetPos(fileOffset + at) || file.Write(now + at, 1, end - at) != end - at)
            return false;
        at = end;
    }
    return true;
}

} // namespace

std::string RemovedTagsText(const RemovedTags& removedTags) {
    char text[96];
    std::snprintf(text, sizeof text, "?%d;", int(removedTags.GetCount()));
    std::string out = text;
    for (uint32_t i = 0; i < removedTags.GetCount(); ++i) {
        const Vardle::RemovedTag& r = removedTags[i];
        std::snprintf(text, sizeof text, "%X(%llX,%llX,%llX);", unsigned(r.tag),
                      (unsigned long long)r.values[0], (unsigned long long)r.values[1],
                      (unsigned long long)r.values[2]);
        out += text;
    }
    return out;
}

int SecureGpsTags(const char* sourcePath, const char* destinationPath, RemovedTags& removedTags) {
    return SecureGpsTags(sourcePath, destinationPath, removedTags, Vardle::Route::Fastest);
}

namespace {

// The source photo, mapped, with its EXIF data gathered.
struct MappedPhoto {
    stdlib::StdioFileStream file;
    CodestreamParser codestream;
    stdlib::MemStream exif;
    gen::array<bool> keep;
    std::vector<XmpSegment> xmp;
};

// Maps the photo and gathers its EXIF data; 0 or 2 (not a usable codestream).
int MapPhoto(MappedPhoto& photo) {
    return MapAndGather(photo.file, photo.codestream, photo.exif, &photo.keep, &photo.xmp)
               ? 0
               : securecode::kUnreadableJpeg;
}

// True when a new map of the photo is the map read before: the same
// segments in the same places, the same EXIF data and XMP segments.
bool SameMapping(const MappedPhoto& before, const std::vector<uint8_t>& exifBefore, const MappedPhoto& now) {
    const auto& a = before.codestream;
    const auto& b = now.codestream;
    if (a.map.GetCount() != b.map.GetCount() || a.bytesSkippedOutsideScans != b.bytesSkippedOutsideScans ||
        a.shortLengthFields != b.shortLengthFields || before.keep.GetCount() != now.keep.GetCount())
        return false;
    for (uint32_t i = 0; i < a.map.GetCount(); ++i)
        if (a.map[i].marker != b.map[i].marker || a.map[i].offset != b.map[i].offset ||
            a.map[i].length != b.map[i].length || before.keep[i] != now.keep[i])
            return false;
    stdlib::MemStream& exifNow = const_cast<stdlib::MemStream&>(now.exif);
    if (exifNow.GetSize() != exifBefore.size() ||
        (!exifBefore.empty() && std::memcmp(exifNow.Data(), exifBefore.data(), exifBefore.size()) != 0))
        return false;
    if (before.xmp.size() != now.xmp.size())
        return false;
    for (size_t i = 0; i < before.xmp.size(); ++i)
        if (before.xmp[i].mapIndex != now.xmp[i].mapIndex || before.xmp[i].payload != now.xmp[i].payload)
            return false;
    return true;
}

// Clears the positions of the XMP packets in copies of their segments: the
// segments that changed. Each value found is listed as its EXIF tag's number
// plus kXmpTagMark, with no values: the log's format stays as it was, and a
// reader tells the two kinds apart by the number.
std::vector<XmpSegment> ClearXmp(const std::vector<XmpSegment>& xmp, RemovedTags& removedTags) {
    xmp::Findings found;
    std::vector<XmpSegment> changed = xmp::ClearInSegments(xmp, found);
    for (uint16_t tag : found.tags) {
        Vardle::RemovedTag record;
        record.tag = Vardle::kXmpTagMark + tag;
        removedTags.append(record);
    }
    return changed;
}

// Clears the values of FLIR GPS records of the known layout in copies of the
// segments that hold them, and appends those to changed. Each value is
// listed as the EXIF tag of its kind plus kFlirTagMark.
void ClearFlir(const std::vector<XmpSegment>& segments, std::vector<XmpSegment>& changed, RemovedTags& removedTags) {
    std::vector<uint16_t> cleared;
    for (XmpSegment& segment : flir::ClearGpsRecords(segments, cleared))
        changed.push_back(std::move(segment));
    for (uint16_t tag : cleared) {
        Vardle::RemovedTag record;
        record.tag = Vardle::kFlirTagMark + tag;
        removedTags.append(record);
    }
}

// Writes the changed bytes of the EXIF data and of the XMP segments into the
// photo, open for writing; closes it when it wrote.
int PatchInPlace(stdlib::StdioFileStream& file, const CodestreamParser& codestream, const MapItem* exifItem,
                 const std::vector<uint8_t>& original, const stdlib::MemStream& exif,
                 const std::vector<XmpSegment>& xmp, const std::vector<XmpSegment>& clearedXmp) {
    bool wrote = false, ok = true;
    if (exifItem && std::memcmp(original.data(), exif.Data(), original.size()) != 0) {
        ok = WriteChangedBytes(file, exifItem->offset + 6, original.data(), exif.Data(), original.size());
        wrote = true;
    }
    for (const XmpSegment& cleared : clearedXmp) {
        const XmpSegment* before = FindSegment(xmp, cleared.mapIndex);
        ok = ok && before && before->payload.size() == cleared.payload.size() &&
             WriteChangedBytes(file, codestream.map[cleared.mapIndex].offset, before->payload.data(),
                               cleared.payload.data(), cleared.payload.size());
        wrote = true;
    }
    if (!ok) {
        file.Close();
        return securecode::kWriteFailed;
    }
    return !wrote || file.Finish() ? securecode::kSecured : securecode::kWriteFailed;
}

// Rewrites the photo, held in source, from its map: in memory when there is
// room (and the route allows), else streamed into the file beside it.
int Rewrite(stdlib::StdioFileStream& source, const char* path, const CodestreamParser& codestream,
            const stdlib::MemStream& exif, const gen::array<bool>& keep,
            const std::vector<XmpSegment>& clearedXmp, Vardle::Route route) {
    uint64_t size = source.GetSize();
    void* block = route == Vardle::Route::TemporaryFile ? nullptr : fileos::AllocateBlock(size_t(size));
    if (!block) {
        // No memory for it: streamed from the photo into the file beside it.
        return ReplaceThroughSibling(path, source, [&](FILE* file) {
            stdlib::StdioFileStream out(file, stdlib::StdioFileStream::kBorrowed);
            out.bigEndian = true;
            return WriteRewrite(source, codestream, exif, keep, clearedXmp, out);
        });
    }
    // The new photo in memory, then in one write beside the photo.
    stdlib::MemStream memory;
    memory.bigEndian = true;
    memory.Attach(block, size);
    int code = WriteRewrite(source, codestream, exif, keep, clearedXmp, memory);
    if (code == 0 && memory.IsError())
        code = securecode::kWriteFailed;
    if (code != 0)
        return code;
    return ReplaceThroughSibling(path, source, [&](FILE* out) {
        return fileos::WriteAll(out, memory.Data(), size_t(memory.Tell())) ? 0 : securecode::kWriteFailed;
    });
}

// Clears the mapped photo's EXIF data and writes the new photo: into
// destination when there is one, else in place of the source.
int WriteSecured(MappedPhoto& photo, const char* sourcePath, stdlib::StdioFileStream* destination,
                 RemovedTags& removedTags, Vardle::Route route) {
    stdlib::StdioFileStream& source = photo.file;
    const CodestreamParser& codestream = photo.codestream;
    stdlib::MemStream& exif = photo.exif;
    const gen::array<bool>& keep = photo.keep;
    std::vector<uint8_t> original(exif.Data(), exif.Data() + exif.GetSize());
    ClearGpsTags(exif, removedTags); // data that cannot be parsed is written back as it was
    std::vector<XmpSegment> clearedXmp = ClearXmp(photo.xmp, removedTags);
    ClearFlir(photo.xmp, clearedXmp, removedTags);

    int code;
    if (destination) {
        code = WriteRewrite(source, codestream, exif, keep, clearedXmp, *destination);
        destination->Flush();
        if (code == 0 && destination->IsError())
            code = securecode::kWriteFailed;
    } else if (!source.ReopenForRewrite(sourcePath)) {
        code = securecode::kCannotOpenWrite;
    } else {
        const MapItem* exifItem = nullptr;
        if (route == Vardle::Route::Fastest &&
            PatchReproducesRewrite(source, codestream, keep, original.size(), &exifItem)) {
            // The patch is computed from the segments read: they must still
            // be there, byte for byte.
            std::vector<ReadPart> patched;
            if (exifItem)
                patched.push_back({exifItem->offset + 6, original.data(), original.size()});
            bool same = true;
            for (const XmpSegment& cleared : clearedXmp) {
                const XmpSegment* before = FindSegment(photo.xmp, cleared.mapIndex);
                if (!before)
                    same = false;
                else
                    patched.push_back({codestream.map[cleared.mapIndex].offset, before->payload.data(),
                                       before->payload.size()});
            }
            same = same && StillHolds(source, patched);
            code = same ? PatchInPlace(source, codestream, exifItem, original, exif, photo.xmp, clearedXmp)
                        : securecode::kChangedMeanwhile;
        } else {
            // The rewrite copies the whole photo along the map: the photo
            // must map as it did.
            MappedPhoto now;
            if (!source.SetPos(0) || !MapAndGather(source, now.codestream, now.exif, &now.keep, &now.xmp))
                code = now.exif.IsError() ? securecode::kUnreadableJpeg : securecode::kChangedMeanwhile;
            else if (!SameMapping(photo, original, now))
                code = securecode::kChangedMeanwhile;
            else
                code = Rewrite(source, sourcePath, codestream, exif, keep, clearedXmp, route);
        }
    }
    if (code == 0)
        trace::Printf("Ok\n");
    // What Norvane cannot clear is still there: the photo is not secure.
    if (code == 0 && !FindOtherLocations(photo.xmp).empty())
        code = securecode::kLocationLeft;
    return code;
}

} // namespace

int SecureGpsTags(const char* sourcePath, const char* destinationPath, RemovedTags& removedTags,
                  Vardle::Route route) {
    trace::Printf("\n\nVardle: '%s' -> '%s'\n", Printable(sourcePath), Printable(destinationPath));
    if (!sourcePath || !destinationPath)
        return securecode::kNoPath;
    const bool inPlace = IsSameFile(sourcePath, destinationPath);
    MappedPhoto photo;
    // Read first, in place too: a photo that is no JPEG gives 2 before one
    // that cannot be written gives 5, and the photo is taken for writing
    // only once there is something to write.
    if (!photo.file.Open(sourcePath, "rb")) {
        trace::Printf("Bad open for '%s'\n", sourcePath);
        return securecode::kCannotOpen;
    }
    trace::Printf(inPlace ? "rewrite\n" : "!rewrite\n");

    // A distinct destination is created (or emptied) before the source is
    // examined; it is a new file, so no photo is at stake there.
    stdlib::StdioFileStream destination;
    if (!inPlace) {
        if (!destination.Open(destinationPath, "wb"))
            return securecode::kCannotOpenWrite;
        destination.bigEndian = true;
    }
    trace::Printf("Start scan '%s' file\n", sourcePath);
    layout::Layout container;
    switch (layout::ChooseReader(photo.file, container)) {
    case layout::Reader::Container:
        return layout::SecureContainer(photo.file, container, sourcePath, inPlace ? nullptr : &destination,
                                       removedTags, route);
    case layout::Reader::Unusable:
        return securecode::kUnreadableJpeg;
    case layout::Reader::Jpeg:
        break;
    }
    if (int code = MapPhoto(photo))
        return code;
    return WriteSecured(photo, sourcePath, inPlace ? nullptr : &destination, removedTags, route);
}

int SecureGpsTagsIfNeeded(const char* path, int& checkCode, RemovedTags& removedTags,
                          std::vector<std::string>* left) {
    if (left)
        left->clear();
    trace::Printf("\n\nCheckGpsTags: '%s'\n", Printable(path));
    checkCode = checkcode::kNoPath;
    if (!path)
        return -1;
    MappedPhoto photo;
    if (!photo.file.Open(path, "rb")) {
        trace::Printf("Bad open for '%s'\n", path);
        checkCode = checkcode::kCannotOpen;
        return -1;
    }
    layout::Layout container;
    switch (layout::ChooseReader(photo.file, container)) {
    case layout::Reader::Container:
        return layout::SecureContainerIfNeeded(photo.file, container, path, checkCode, removedTags, left);
    case layout::Reader::Unusable:
        checkCode = checkcode::kNotJpeg;
        return -1;
    case layout::Reader::Jpeg:
        break;
    }
    if ((checkCode = MapPhoto(photo)) != 0)
        return -1;
    checkCode = CheckPhotoData(photo.exif, photo.xmp);
    if (checkCode != checkcode::kNeedsSecuring && checkCode != checkcode::kLocationKept)
        return -1;
    if (left)
        *left = FindOtherLocations(photo.xmp);
    if (checkCode != checkcode::kNeedsSecuring)
        return -1;
    trace::Printf("\n\nVardle: '%s' -> '%s'\nrewrite\nStart scan '%s' file\n", path, path, path);
    int code = WriteSecured(photo, path, nullptr, removedTags, Vardle::Route::Fastest);
    if (left && code != securecode::kLocationLeft)
        left->clear();
    return code;
}
