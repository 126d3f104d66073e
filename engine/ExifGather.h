#pragma once
// Gathers a photo's EXIF data: the payloads of its APP1 "Exif\0" segments,
// without their 6-byte header, joined in file order into one memory stream.

#include "engine/CodestreamParser.h"
#include "engine/GenArray.h"
#include "engine/MemStream.h"

#include <cstdint>
#include <vector>

// True when an APP1 payload of that many bytes can be an EXIF segment.
inline bool IsExifCandidate(const CodestreamParser::MapItem& item) { return item.marker == 0xE1 && item.length >= 7; }

// An APP1 segment that holds an XMP packet, a part of an extended one or a
// part of a FLIR block: the segments besides EXIF that hold positions. Its
// payload as it was read.
struct XmpSegment {
    uint32_t mapIndex = 0;
    std::vector<uint8_t> payload;
};

// Appends the EXIF parts of every APP1 segment of map to exif. When keep is
// given it receives one flag per map item: true for an APP1 segment of at
// least 7 bytes that is not EXIF (copied through by a rewrite). When xmp is
// given it receives the segments that hold XMP or FLIR data.
void GatherExif(stdlib::Stream& file, const CodestreamParser& parser, stdlib::MemStream& exif,
                gen::array<bool>* keep = nullptr, std::vector<XmpSegment>* xmp = nullptr);

// How the check and securing read a photo: maps it from the stream's
// position, makes sure the map begins with SOI, and gathers its EXIF data
// (keep and xmp as for GatherExif). False when the file is no usable JPEG
// codestream, or when its EXIF data could not be held in memory in full:
// then nothing may be judged or written from it.
bool MapAndGather(stdlib::Stream& file, CodestreamParser& codestream, stdlib::MemStream& exif,
                  gen::array<bool>* keep = nullptr, std::vector<XmpSegment>* xmp = nullptr);
