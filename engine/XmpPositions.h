#pragma once
// GPS positions in a photo's XMP packet.
//
// Cameras, phones and editors copy the position into XMP as the properties
// GPSLatitude, GPSLongitude, GPSAltitude, GPSDestLatitude and
// GPSDestLongitude of the EXIF namespace ("http://ns.adobe.com/exif/1.0/"),
// under whatever prefix the packet binds to it, written as an attribute
// (exif:GPSLatitude="48,53.3235982N") or as an element
// (<exif:GPSLatitude>48,53.3235982N</exif:GPSLatitude>). Vendors write
// positions under their own namespaces: a DJI drone its drone-dji:GpsLatitude,
// GpsLongitude (or the misspelt GpsLongtitude) and AbsoluteAltitude. Those
// names, and GPSLatitude and GPSLongitude, are positions under any prefix;
// they count as the EXIF tag of the same kind (GpsLatitude as GPSLatitude,
// AbsoluteAltitude as GPSAltitude).
//
// A value is cleared by turning each of its digits into '0', a denominator
// into 0...01 (so "81/2" becomes "00/1", zero, where "00/0" would be read as
// infinite): the text keeps
// its length, its letters (N, S, E, W), its separators and all the XML
// around it, so the packet, its segment and the file keep their sizes, and
// a reader reads the value as zero. Nothing outside a value changes.
//
// The packet is text written by many programs and may be anything: it is
// scanned once, front to back, with every search continuing where the last
// one ended, so any bytes cost time in proportion to their length. A value
// whose closing quote or next tag never comes runs to the end of the packet.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace xmp {

// The APP1 payload header of an XMP packet (with its terminating zero).
constexpr char kPacketHeader[] = "http://ns.adobe.com/xap/1.0/";
constexpr size_t kPacketHeaderSize = sizeof kPacketHeader; // 29, the zero included
constexpr char kExifNamespace[] = "http://ns.adobe.com/exif/1.0/";

// True when an APP1 payload is a (standard) XMP packet.
bool IsPacket(const uint8_t* payload, size_t size);

// The APP1 payload header of an extended XMP segment (with its zero), and
// where its GUID, full length, offset and part begin.
constexpr char kExtendedHeader[] = "http://ns.adobe.com/xmp/extension/";
constexpr size_t kExtendedHeaderSize = sizeof kExtendedHeader; // 35
constexpr size_t kGuidSize = 32;
constexpr size_t kExtendedPartAt = kExtendedHeaderSize + kGuidSize + 8;

bool IsExtendedSegment(const uint8_t* payload, size_t size);


struct Value {
    uint16_t tag = 0; // the EXIF GPS tag of the same kind: 2, 4, 6, 20 or 22
    size_t begin = 0; // [begin, end) of the value's text in the packet
    size_t end = 0;
    bool nonZero = false; // holds a digit other than 0 outside a denominator
};

// The position values of packet text, in the order they stand.
std::vector<Value> FindPositions(const uint8_t* text, size_t size);

// Clears the values to zero in place; true when a byte changed.
bool ClearPositions(uint8_t* text, const std::vector<Value>& values);

// Clears every position of packet text, and lists the values it found. Digits
// are also part of names, so in crafted text a clearing can make a new value
// appear (a prefix that becomes a bound one); the text is read again until no
// value but zero remains. Returns true when a byte changed.
bool ClearAllPositions(uint8_t* text, size_t size, std::vector<Value>& found);

// The same two for a packet as it stands in a photo. The XMP of a JPEG photo
// is UTF-8, yet some writers store UTF-16 or UTF-32, and readers take it
// (exiftool reads a position there). Text that begins with a byte-order mark,
// or whose first character has zero bytes beside it, is also read through a
// narrow copy with one byte per code unit (ASCII as it is, any other unit a
// byte no markup uses), and the digits cleared there are written back into
// their units. It is read as UTF-8 as well: a guess from the first bytes
// must never hide a position. Values of the wide reading are in code units.
std::vector<Value> FindPositionsInPacket(const uint8_t* text, size_t size);
bool ClearAllPositionsInPacket(uint8_t* text, size_t size, std::vector<Value>& found);

} // namespace xmp
