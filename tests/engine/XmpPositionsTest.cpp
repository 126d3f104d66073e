// Positions in XMP packets: which texts are positions, how they are cleared,
// and what the check and securing make of photos that carry them. Every
// byte outside a value must stay as it was.

#include "engine/CheckGpsTags.h"
#include "engine/Md5.h"
#include "engine/ResultCodes.h"
#include "engine/SecureGpsTags.h"
#include "engine/XmpPositions.h"
#include "support/JpegBuilder.h"
#include "support/TempDir.h"
#include "support/TiffBuilder.h"

#include <gtest/gtest.h>

#include <string>

using namespace testing_support;

namespace {

std::vector<xmp::Value> Find(const std::string& text) {
    return xmp::FindPositions(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// The packet with its positions cleared.
std::string Cleared(std::string text) {
    auto values = Find(text);
    xmp::ClearPositions(reinterpret_cast<uint8_t*>(&text[0]), values);
    return text;
}

std::string Packet(const std::string& body, const std::string& prefix = "exif") {
    return "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
           "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
           " <rdf:Description rdf:about='' xmlns:" +
           prefix + "='http://ns.adobe.com/exif/1.0/' xmlns:tiff='http://ns.adobe.com/tiff/1.0/'\n" + body +
           "\n </rdf:Description></rdf:RDF></x:xmpmeta>\n<?xpacket end='w'?>";
}

} // namespace

TEST(XmpPositions, AttributeAndElementFormsUnderAnyBoundPrefix) {
    std::string attributes = Packet("  exif:GPSLatitude=\"48,53.3235982N\"\n  exif:GPSLongitude = '2,20.1E'\n"
                                    "  exif:GPSLatitudeRef=\"N\" tiff:Make=\"Cam 12\" exif:GPSAltitude=\"0/1\">");
    auto found = Find(attributes);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].tag, 2);
    EXPECT_EQ(attributes.substr(found[0].begin, found[0].end - found[0].begin), "48,53.3235982N");
    EXPECT_EQ(found[1].tag, 4);
    EXPECT_EQ(attributes.substr(found[1].begin, found[1].end - found[1].begin), "2,20.1E");
    EXPECT_TRUE(found[0].nonZero);
    EXPECT_FALSE(found[2].nonZero); // 0/1 is zero

    std::string elements = Packet(" >\n  <pos:GPSDestLatitude>48,51.504N</pos:GPSDestLatitude>\n"
                                  "  <pos:GPSDestLongitude>2,17.67E</pos:GPSDestLongitude>\n"
                                  "  <pos:GPSAltitude/>\n  <tiff:GPSLatitude>35,1N</tiff:GPSLatitude>",
                                  "pos");
    found = Find(elements);
    // The empty element has no value; GPSLatitude is a position under any prefix.
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].tag, 20);
    EXPECT_EQ(found[1].tag, 22);
    EXPECT_EQ(found[2].tag, 2);
    EXPECT_EQ(elements.substr(found[1].begin, found[1].end - found[1].begin), "2,17.67E");

    // A prefix bound to another namespace is not the EXIF one, whatever it is called.
    EXPECT_TRUE(Find("<a xmlns:exif='http://example.com/exif/' exif:GPSAltitude='35'/>").empty());
    EXPECT_EQ(Find("<a xmlns:e=\"http://ns.adobe.com/exif/1.0/\" e:GPSAltitude='35'/>").size(), 1u);
    // Vendors' names under any prefix, bound or not; never a namespace
    // declaration, nor a name that only begins like one.
    auto vendor = Find("<a xmlns:GpsLatitude='http://x/1.0/' d:GpsLatitudeRef='N' d:GpsLongtitude='1'"
                       " u:AbsoluteAltitude='2'><p:GpsLatitude>3</p:GpsLatitude>");
    ASSERT_EQ(vendor.size(), 3u);
    EXPECT_EQ(vendor[0].tag, 4);
    EXPECT_EQ(vendor[1].tag, 6);
    EXPECT_EQ(vendor[2].tag, 2);
}

TEST(XmpPositions, ClearingTurnsDigitsToZeroAndNothingElse) {
    std::string packet = Packet("  exif:GPSLatitude=\"48,53.3235982N\" exif:GPSAltitude='81/2'"
                                " exif:Other=\"12\">\n  <exif:GPSLongitude>139,42.048W</exif:GPSLongitude>");
    std::string cleared = Cleared(packet);
    ASSERT_EQ(cleared.size(), packet.size());
    EXPECT_NE(cleared.find("exif:GPSLatitude=\"00,00.0000000N\""), std::string::npos);
    EXPECT_NE(cleared.find("exif:GPSAltitude='00/1'"), std::string::npos); // 0/1, never 0/0
    EXPECT_NE(cleared.find("<exif:GPSLongitude>000,00.000W</exif:GPSLongitude>"), std::string::npos);
    EXPECT_NE(cleared.find("exif:Other=\"12\""), std::string::npos);
    for (const xmp::Value& v : Find(cleared))
        EXPECT_FALSE(v.nonZero);
    size_t differ = 0;
    for (size_t i = 0; i < packet.size(); ++i)
        differ += packet[i] != cleared[i];
    EXPECT_EQ(differ, 11u + 3u + 7u);
    EXPECT_EQ(Cleared(cleared), cleared); // a second clearing changes nothing
}

TEST(XmpPositions, MalformedTextEndsInAResultAndStaysInsideValues) {
    const std::string bind = "<a xmlns:exif='http://ns.adobe.com/exif/1.0/' ";
    // No closing quote, no closing tag: the value runs to the end.
    EXPECT_EQ(Cleared(bind + "exif:GPSLatitude='35,1N and 99"), bind + "exif:GPSLatitude='00,0N and 00");
    EXPECT_EQ(Cleared(bind + "><exif:GPSLatitude>35,1N"), bind + "><exif:GPSLatitude>00,0N");
    // A start tag that never ends, a name at the very end, a bare name.
    EXPECT_EQ(Cleared(bind + "><exif:GPSLatitude 35"), bind + "><exif:GPSLatitude 35");
    EXPECT_EQ(Cleared(bind + "exif:GPSLatitude"), bind + "exif:GPSLatitude");
    EXPECT_EQ(Cleared(bind + "exif:GPSLatitude 7 ='5'"), bind + "exif:GPSLatitude 7 ='5'");
    // Quotes inside another value: both values are cleared, once each.
    EXPECT_EQ(Cleared(bind + "exif:GPSAltitude='1 exif:GPSLatitude=\"5' 7\" x='9'"),
              bind + "exif:GPSAltitude='0 exif:GPSLatitude=\"0' 0\" x='9'");
    // Clearing one value makes a name that reads as a bound prefix: that
    // value is cleared too.
    std::string renamed = "<a xmlns:e0='http://ns.adobe.com/exif/1.0/' e0:GPSAltitude=\"x e1:GPSDestLatitude='5\" 7' 8";
    std::vector<xmp::Value> found;
    EXPECT_TRUE(xmp::ClearAllPositions(reinterpret_cast<uint8_t*>(&renamed[0]), renamed.size(), found));
    EXPECT_EQ(found.size(), 1u);
    EXPECT_EQ(renamed, "<a xmlns:e0='http://ns.adobe.com/exif/1.0/' e0:GPSAltitude=\"x e0:GPSDestLatitude='0\" 0' 8");
    // Names that only begin like a position, closing tags and prefixes of other words.
    EXPECT_TRUE(Find(bind + "exif:GPSLatitudeRef='1' exif:GPSLatitudeX='2' </exif:GPSLatitude> "
                            "xexif:GPSAltitude='3' exif:GPSLatitude:x='4'")
                    .empty());
    // Any bytes at all, long ones too.
    std::string noise;
    for (int i = 0; i < 60000; ++i)
        noise += "exif:GPSLatitude='<\"\0>/9"[i % 24];
    std::string packet = bind + noise;
    EXPECT_EQ(Cleared(packet).size(), packet.size());
    EXPECT_TRUE(Find(std::string(65000, '\'')).empty());
}

namespace {

class XmpPhoto : public ::testing::Test {
protected:
    std::string Write(const std::vector<uint8_t>& bytes) {
        std::string path = dir.file("photo-" + std::to_string(n++) + ".jpg");
        WriteFile(path, bytes);
        return path;
    }
    int Check(const std::vector<uint8_t>& bytes) { return CheckGpsTags(Write(bytes).c_str()); }
    static std::vector<uint8_t> WithXmp(const std::string& packet, const std::vector<uint8_t>* tiff = nullptr) {
        JpegBuilder b;
        b.Jfif();
        if (tiff)
            b.Exif(*tiff);
        return b.Xmp(packet).Tables().Scan(3000).End().bytes;
    }
    TempDir dir;
    int n = 0;
};

} // namespace

TEST_F(XmpPhoto, CheckCodesTakeXmpPositionsIntoAccount) {
    std::string position = Packet(" exif:GPSLatitude='35,40.272N'>");
    std::string zero = Packet(" exif:GPSLatitude='00,00.000N'>");
    std::string none = Packet(" exif:ExposureTime='1/125'>");
    for (bool be : {false, true}) {
        TiffBuilder t(be);
        std::vector<uint8_t> gpsZero = ExifWithGps(be, {t.Rationals(2, {{0, 1}, {0, 1}, {0, 1}})});
        std::vector<uint8_t> gpsSet = ExifWithGps(be, {t.Rationals(2, {{35, 1}, {0, 1}, {0, 1}})});
        std::vector<uint8_t> noGps = ExifWithGps(be, {t.Ascii(1, "N")});
        EXPECT_EQ(Check(WithXmp(position)), checkcode::kNeedsSecuring); // XMP only
        EXPECT_EQ(Check(WithXmp(zero)), checkcode::kAlreadySecure);
        EXPECT_EQ(Check(WithXmp(none)), checkcode::kNoExif);
        EXPECT_EQ(Check(WithXmp(position, &gpsZero)), checkcode::kNeedsSecuring);
        EXPECT_EQ(Check(WithXmp(zero, &gpsSet)), checkcode::kNeedsSecuring);
        EXPECT_EQ(Check(WithXmp(zero, &noGps)), checkcode::kAlreadySecure);
        EXPECT_EQ(Check(WithXmp(none, &noGps)), checkcode::kNoPositionTags);
        EXPECT_EQ(Check(WithXmp(none, &gpsZero)), checkcode::kAlreadySecure);
    }
}

TEST_F(XmpPhoto, SecuringClearsXmpOnEveryRouteAndKeepsEveryOtherByte) {
    TiffBuilder t(false);
    std::vector<uint8_t> tiff = ExifWithGps(false, {t.Ascii(1, "N"), t.Rationals(2, {{35, 1}, {40, 1}, {15, 1}})});
    std::string packet = Packet(" exif:GPSLatitude='35,40.25N' exif:GPSAltitude=\"81/2\">\n"
                                "  <exif:GPSLongitude>139,42.048E</exif:GPSLongitude>");
    for (bool withExif : {false, true}) {
        std::vector<uint8_t> photo = WithXmp(packet, withExif ? &tiff : nullptr);
        // A shape that the patch in place cannot take: fill bytes before a
        // marker are dropped, so the photo is written anew.
        std::vector<uint8_t> mended = photo;
        mended.insert(mended.begin() + 2, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
        for (int shape = 0; shape < 2; ++shape) {
            const std::vector<uint8_t>& original = shape == 0 ? photo : mended;
            std::vector<uint8_t> first;
            std::string removed;
            for (Vardle::Route route :
                 {Vardle::Route::Fastest, Vardle::Route::InMemory, Vardle::Route::TemporaryFile}) {
                std::string path = Write(original);
                RemovedTags tags;
                ASSERT_EQ(SecureGpsTags(path.c_str(), path.c_str(), tags, route), securecode::kSecured);
                std::vector<uint8_t> secured = ReadFile(path);
                if (route == Vardle::Route::Fastest) {
                    first = secured;
                    removed = RemovedTagsText(tags);
                }
                EXPECT_EQ(secured, first) << int(route);
                EXPECT_EQ(RemovedTagsText(tags), removed);
                EXPECT_EQ(CheckGpsTags(path.c_str()), checkcode::kAlreadySecure);
            }
            EXPECT_EQ(removed, withExif ? "?4;2(0,0,0);10002(0,0,0);10006(0,0,0);10004(0,0,0);"
                                        : "?3;10002(0,0,0);10006(0,0,0);10004(0,0,0);");
            // The same bytes but for digits of the values (and the EXIF
            // values); the patched packet reads as zero.
            size_t skip = shape == 0 ? 0 : 6;
            ASSERT_EQ(first.size(), original.size() - skip);
            std::string text(first.begin(), first.end());
            EXPECT_NE(text.find("exif:GPSLatitude='00,00.00N' exif:GPSAltitude=\"00/1\""), std::string::npos);
            EXPECT_NE(text.find("<exif:GPSLongitude>000,00.000E</exif:GPSLongitude>"), std::string::npos);
            // The EXIF segment comes before the packet: bytes that changed
            // there became 0, bytes that changed in the packet were digits.
            size_t xmpAt = text.find(xmp::kPacketHeader);
            ASSERT_NE(xmpAt, std::string::npos);
            size_t exifChanged = 0, digitsChanged = 0, othersChanged = 0;
            for (size_t i = 0; i < first.size(); ++i) {
                uint8_t before = original[i + (i >= 2 ? skip : 0)];
                if (before == first[i])
                    continue;
                if (i < xmpAt && first[i] == 0)
                    ++exifChanged;
                else if (i > xmpAt && before >= '0' && before <= '9' && (first[i] == '0' || first[i] == '1'))
                    ++digitsChanged;
                else
                    ++othersChanged;
            }
            EXPECT_EQ(othersChanged, 0u);
            EXPECT_EQ(digitsChanged, 5u + 3u + 7u);
            EXPECT_EQ(exifChanged > 0, withExif);
            EXPECT_LE(exifChanged, 24u);
        }
    }
}

TEST_F(XmpPhoto, CheckAndSecureInOneReadingSeeXmpToo) {
    std::string path = Write(WithXmp(Packet(" exif:GPSDestLongitude='2,17.67E'>")));
    int check = -1;
    RemovedTags tags;
    EXPECT_EQ(SecureGpsTagsIfNeeded(path.c_str(), check, tags), securecode::kSecured);
    EXPECT_EQ(check, checkcode::kNeedsSecuring);
    EXPECT_EQ(RemovedTagsText(tags), "?1;10016(0,0,0);");
    tags.clear();
    EXPECT_EQ(SecureGpsTagsIfNeeded(path.c_str(), check, tags), -1);
    EXPECT_EQ(check, checkcode::kAlreadySecure);
}

namespace {

std::string Md5Of(const std::string& s) {
    return md5::HexDigest(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// The extended packet's text cut into parts of at most chunk bytes, each in
// an APP1 segment with its GUID, the full length and its offset.
std::vector<std::vector<uint8_t>> ExtendedSegments(const std::string& text, const std::string& guid, size_t chunk) {
    std::vector<std::vector<uint8_t>> out;
    for (size_t at = 0; at < text.size(); at += chunk) {
        size_t n = std::min(chunk, text.size() - at);
        std::vector<uint8_t> p(xmp::kExtendedHeader, xmp::kExtendedHeader + xmp::kExtendedHeaderSize);
        p.insert(p.end(), guid.begin(), guid.end());
        for (uint32_t v : {uint32_t(text.size()), uint32_t(at)})
            for (int shift : {24, 16, 8, 0})
                p.push_back(uint8_t(v >> shift));
        p.insert(p.end(), text.begin() + long(at), text.begin() + long(at + n));
        out.push_back(p);
    }
    return out;
}

} // namespace

TEST(Md5, KnownDigests) {
    EXPECT_EQ(Md5Of(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(Md5Of("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(Md5Of(std::string(56, 'a')), "3B0C8AC703F828B04C6C197006D17218"); // padding spills a block
    std::string bytes;
    for (int i = 0; i < 1280; ++i)
        bytes += char(i % 256);
    EXPECT_EQ(Md5Of(bytes), "82829F1F3F2BB0F18B25F278E5BBA8BD");
}

TEST_F(XmpPhoto, ExtendedXmpIsClearedAndJoinedByItsNewGuid) {
    // The position lies across the border of two parts.
    std::string extended = Packet(" exif:ExposureTime='1/125'>\n  <dc:description>" + std::string(3000, 'w') +
                                  "</dc:description>\n  <exif:GPSLatitude>35,40.272N</exif:GPSLatitude>");
    size_t chunk = extended.find("40.272") + 2;
    std::string guid = Md5Of(extended);
    std::string main = Packet(" xmlns:xmpNote='http://ns.adobe.com/xmp/note/' xmpNote:HasExtendedXMP='" + guid + "'>");
    JpegBuilder b;
    b.Jfif().Xmp(main);
    for (const auto& segment : ExtendedSegments(extended, guid, chunk))
        b.Segment(0xE1, segment);
    std::vector<uint8_t> photo = b.Tables().Scan(2000).End().bytes;
    EXPECT_EQ(Check(photo), checkcode::kNeedsSecuring);

    // Parts that do not fit together are no packet: nothing to find there.
    JpegBuilder gap;
    gap.Jfif().Xmp(main).Segment(0xE1, ExtendedSegments(extended, guid, chunk)[1]);
    EXPECT_EQ(Check(gap.Tables().Scan(2000).End().bytes), checkcode::kNoExif);

    std::string cleared = extended;
    cleared.replace(cleared.find("35,40.272N"), 10, "00,00.000N");
    std::string newGuid = Md5Of(cleared);
    for (Vardle::Route route : {Vardle::Route::Fastest, Vardle::Route::InMemory, Vardle::Route::TemporaryFile}) {
        std::string path = Write(photo);
        RemovedTags tags;
        ASSERT_EQ(SecureGpsTags(path.c_str(), path.c_str(), tags, route), securecode::kSecured);
        EXPECT_EQ(RemovedTagsText(tags), "?1;10002(0,0,0);");
        std::vector<uint8_t> secured = ReadFile(path);
        ASSERT_EQ(secured.size(), photo.size());
        std::string text(secured.begin(), secured.end());
        // The new GUID in the main packet and in both segments, the old one nowhere.
        EXPECT_EQ(text.find(guid), std::string::npos);
        size_t inMain = text.find("HasExtendedXMP='" + newGuid + "'");
        EXPECT_NE(inMain, std::string::npos);
        size_t first = text.find(newGuid, inMain + 1);
        EXPECT_NE(first, std::string::npos);
        EXPECT_NE(text.find(newGuid, first + 1), std::string::npos);
        EXPECT_EQ(CheckGpsTags(path.c_str()), checkcode::kAlreadySecure);
        // Only the position's digits and the GUIDs changed.
        size_t changed = 0;
        for (size_t i = 0; i < photo.size(); ++i)
            changed += photo[i] != secured[i];
        EXPECT_LE(changed, 8u + 3 * 32u);
        EXPECT_GE(changed, 8u);
    }
}

// XMP is text from many writers, and from anyone who crafts a photo: every
// shape below ends in a result, in time in proportion to its length, and
// changes no byte but the digits of a value the reading recognised.
namespace {

const std::string kBind = "<a xmlns:exif='http://ns.adobe.com/exif/1.0/' ";

// Clears text as securing does, and holds the result to the rule: the same
// length, bytes outside the values found as they were, and inside them only
// digits that became '0' (or '1', closing a denominator). Returns the result.
std::string ClearedWithinValues(const std::string& text, size_t* valuesFound = nullptr) {
    std::string out = text;
    std::vector<xmp::Value> found;
    xmp::ClearAllPositions(reinterpret_cast<uint8_t*>(&out[0]), out.size(), found);
    if (valuesFound)
        *valuesFound = found.size();
    EXPECT_EQ(out.size(), text.size());
    std::vector<bool> inValue(text.size() + 1, false);
    for (const xmp::Value& v : found) {
        EXPECT_LE(v.begin, v.end);
        EXPECT_LE(v.end, text.size());
        for (size_t i = v.begin; i < v.end && i < text.size(); ++i)
            inValue[i] = true;
    }
    size_t outside = 0, notDigit = 0;
    for (size_t i = 0; i < text.size() && i < out.size(); ++i) {
        if (text[i] == out[i])
            continue;
        if (!inValue[i])
            ++outside;
        else if (!(text[i] >= '0' && text[i] <= '9') || (out[i] != '0' && out[i] != '1'))
            ++notDigit;
    }
    EXPECT_EQ(outside, 0u) << "bytes changed outside every value";
    EXPECT_EQ(notDigit, 0u) << "bytes changed that were no digit";
    return out;
}

} // namespace

TEST(XmpHostileText, UnterminatedElementsAndAttributesEndAtTheirValue) {
    // A start tag with no value after it, a value cut before its end tag, an
    // end tag cut short, a start tag whose attributes hold '>'.
    EXPECT_EQ(ClearedWithinValues(kBind + "><exif:GPSLatitude>"), kBind + "><exif:GPSLatitude>");
    EXPECT_EQ(ClearedWithinValues(kBind + "><exif:GPSLatitude>35,1N</exif:GPSLat"),
              kBind + "><exif:GPSLatitude>00,0N</exif:GPSLat");
    EXPECT_EQ(ClearedWithinValues(kBind + "><exif:GPSLatitude a='7'>35,1N</exif:GPSLatitude> 9"),
              kBind + "><exif:GPSLatitude a='7'>00,0N</exif:GPSLatitude> 9");
    EXPECT_EQ(ClearedWithinValues(kBind + "><exif:GPSAltitude/>81 <exif:GPSLongitude"),
              kBind + "><exif:GPSAltitude/>81 <exif:GPSLongitude");
    // An attribute whose '=' or quote never comes, or comes at the very end.
    EXPECT_EQ(ClearedWithinValues(kBind + "exif:GPSLatitude="), kBind + "exif:GPSLatitude=");
    EXPECT_EQ(ClearedWithinValues(kBind + "exif:GPSLatitude= '"), kBind + "exif:GPSLatitude= '");
    EXPECT_EQ(ClearedWithinValues(kBind + "exif:GPSLatitude 12 3"), kBind + "exif:GPSLatitude 12 3");
    // The namespace binding itself cut short, or with no closing quote: no
    // prefix is bound, nothing is a position.
    for (std::string cut : {"<a xmlns:exif='http://ns.adobe.com/exif/1.0/", "<a xmlns:exif='http://ns.adobe.com/exif/1.0/\"",
                            "<a xmlns:exif=", "<a xmlns:", "xmlns:"}) {
        size_t n = 1;
        EXPECT_EQ(ClearedWithinValues(cut + " exif:GPSAltitude='35'", &n), cut + " exif:GPSAltitude='35'");
        EXPECT_EQ(n, 0u) << cut;
    }
}

TEST(XmpHostileText, NestedAndStrayQuotes) {
    // The other quote inside a value is part of it.
    EXPECT_EQ(ClearedWithinValues(kBind + "exif:GPSLatitude=\"35'40,2N\" x='12'"),
              kBind + "exif:GPSLatitude=\"00'00,0N\" x='12'");
    EXPECT_EQ(ClearedWithinValues(kBind + "exif:GPSLongitude='1\"2\"3' x=\"45\""),
              kBind + "exif:GPSLongitude='0\"0\"0' x=\"45\"");
    // Values that open inside each other, several deep: each ends at the
    // next quote of its own kind, and what follows the last stays.
    size_t n = 0;
    std::string deep = kBind + "exif:GPSAltitude='1 exif:GPSLatitude=\"2 exif:GPSLongitude='3\" 4' 5";
    EXPECT_EQ(ClearedWithinValues(deep, &n),
              kBind + "exif:GPSAltitude='0 exif:GPSLatitude=\"0 exif:GPSLongitude='0\" 0' 5");
    EXPECT_EQ(n, 3u);
    // Names inside a value that make no property: "=" follows no blank.
    EXPECT_EQ(ClearedWithinValues(kBind + "x='a:GPSLatitude=\"9\"' exif:GPSAltitude=\"8\""),
              kBind + "x='a:GPSLatitude=\"9\"' exif:GPSAltitude=\"0\"");
}

TEST(XmpHostileText, HugeValuesAndCountlessPropertiesCostTimeInProportion) {
    // Values of 10 MB: closed, as an element, and never closed.
    const std::string digits(10u << 20, '7');
    const std::string zeros(digits.size(), '0');
    std::string attribute = kBind + "exif:GPSLatitude='" + digits + "' x='7'";
    EXPECT_EQ(ClearedWithinValues(attribute), kBind + "exif:GPSLatitude='" + zeros + "' x='7'");
    std::string element = kBind + "><exif:GPSLongitude>" + digits + "</exif:GPSLongitude>7";
    EXPECT_EQ(ClearedWithinValues(element), kBind + "><exif:GPSLongitude>" + zeros + "</exif:GPSLongitude>7");
    std::string open = kBind + "exif:GPSAltitude=\"" + digits;
    EXPECT_EQ(ClearedWithinValues(open), kBind + "exif:GPSAltitude=\"" + zeros);

    // Half a million properties in 10 MB, each left open so that every value
    // runs over all that follow it: a reading that walked each value on its
    // own would take hours here.
    std::string many = kBind;
    const std::string piece = "exif:GPSLatitude='9 ";
    for (size_t i = 0; i < (10u << 20) / piece.size(); ++i)
        many += piece;
    size_t n = 0;
    std::string cleared = ClearedWithinValues(many, &n);
    EXPECT_EQ(n, (10u << 20) / piece.size());
    EXPECT_EQ(cleared.find('9'), std::string::npos);

    // As many prefixes bound to the EXIF namespace as names fit, and as many
    // unbound ones: the list of prefixes stays small.
    std::string prefixes = "<a ";
    for (int i = 0; i < 100000; ++i)
        prefixes += "xmlns:p" + std::to_string(i) + "='http://ns.adobe.com/exif/1.0/' ";
    prefixes += "p7:GPSAltitude='35' p99999:GPSAltitude='35'";
    cleared = ClearedWithinValues(prefixes, &n);
    EXPECT_EQ(n, 1u); // the first prefixes bound are taken, the rest is read as other names
    EXPECT_NE(cleared.find("p7:GPSAltitude='00'"), std::string::npos);
}

TEST(XmpHostileText, AnyBytesAtAll) {
    // Zero bytes, high bytes, markers, every byte value around and inside a
    // value: the reading ends and stays inside what it recognised.
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    ClearedWithinValues(kBind + "exif:GPSLatitude='" + all + "' " + all);
    ClearedWithinValues(kBind + "><exif:GPSLatitude>" + all + "</exif:GPSLatitude>" + all);
    // Pseudo-random text drawn from the bytes that matter to the reading.
    const std::string alphabet = "exif:GPSLatitude='\"<>/ =:9100xmlns:http://ns.adobe.com/exif/1.0/";
    uint32_t seed = 12345;
    for (int round = 0; round < 200; ++round) {
        std::string text = kBind;
        for (int i = 0; i < 2000; ++i) {
            seed = seed * 1103515245u + 12345u;
            text += alphabet[(seed >> 16) % alphabet.size()];
        }
        std::string cleared = ClearedWithinValues(text);
        for (const xmp::Value& v : Find(cleared))
            EXPECT_FALSE(v.nonZero) << round;
    }
    // Empty text and text of one byte.
    EXPECT_TRUE(Find("").empty());
    EXPECT_TRUE(Find(":").empty());
}

namespace {

std::vector<uint8_t> BytesOf(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::vector<uint8_t> PacketPayload(const std::string& text) {
    return BytesOf(std::string(xmp::kPacketHeader, xmp::kPacketHeaderSize) + text);
}

std::vector<uint8_t> PhotoWithSegments(const std::vector<std::vector<uint8_t>>& app1) {
    JpegBuilder b;
    b.Jfif();
    for (const auto& payload : app1)
        b.Segment(0xE1, payload);
    return b.Tables().Scan(2000).End().bytes;
}

// The packet text in code units of width bytes (2 or 4), with a byte-order
// mark or without; every character of text is ASCII but 'U', which stands
// for U+00E9 in the packet (a unit whose low byte is no ASCII).
std::vector<uint8_t> Wide(const std::string& text, size_t width, bool bigEndian, bool mark) {
    std::vector<uint8_t> out;
    auto put = [&](uint32_t c) {
        for (size_t b = 0; b < width; ++b)
            out.push_back(uint8_t(c >> (8 * (bigEndian ? width - 1 - b : b))));
    };
    if (mark)
        put(0xFEFF);
    for (char c : text)
        put(c == 'U' ? 0xE9u : uint32_t(uint8_t(c)));
    return out;
}

} // namespace

TEST_F(XmpPhoto, PacketsNoReaderTakesForXmpStayByteForByte) {
    const std::string position = Packet(" exif:GPSLatitude='35,40.272N' exif:GPSLongitude=\"139,42.048E\">");
    std::vector<uint8_t> header(xmp::kPacketHeader, xmp::kPacketHeader + xmp::kPacketHeaderSize);
    std::vector<std::vector<uint8_t>> payloads;
    payloads.push_back(header);                                                       // the header alone
    payloads.push_back(BytesOf(std::string(xmp::kPacketHeader) + position));            // header without its zero
    payloads.push_back(PacketPayload(std::string(65000, '<')));                       // nothing but markup
    payloads.push_back(PacketPayload(std::string(65000, '\'')));                      // nothing but quotes
    payloads.push_back(PacketPayload(std::string(1000, '\0') + "exif:GPSLatitude")); // zeros, a bare name
    for (size_t k = 0; k < payloads.size(); ++k) {
        SCOPED_TRACE(k);
        std::vector<uint8_t> photo = PhotoWithSegments({payloads[k]});
        EXPECT_EQ(Check(photo), checkcode::kNoExif);
        for (Vardle::Route route : {Vardle::Route::Fastest, Vardle::Route::InMemory, Vardle::Route::TemporaryFile}) {
            std::string path = Write(photo);
            RemovedTags tags;
            EXPECT_EQ(SecureGpsTags(path.c_str(), path.c_str(), tags, route), securecode::kSecured);
            EXPECT_EQ(tags.GetCount(), 0u);
            EXPECT_TRUE(ReadFile(path) == photo);
        }
    }
}

TEST_F(XmpPhoto, APacketSplitOverSegmentsIsClearedInItsFirstPartOnly) {
    // A writer cut the packet inside a value and went on in a second APP1
    // segment with no header: the value runs to the end of the first part,
    // which is cleared; the second part is no packet and keeps every byte.
    std::string whole = Packet(" exif:GPSLatitude='35,40.272N' tiff:Make='Cam 12'>");
    size_t cut = whole.find("40.272");
    std::vector<uint8_t> first = PacketPayload(whole.substr(0, cut + 2));
    std::vector<uint8_t> second = BytesOf(whole.substr(cut + 2));
    std::vector<uint8_t> photo = PhotoWithSegments({first, second});
    EXPECT_EQ(Check(photo), checkcode::kNeedsSecuring);

    std::string expected(photo.begin(), photo.end());
    size_t at = expected.find("35,40");
    ASSERT_NE(at, std::string::npos);
    expected.replace(at, 5, "00,00");
    for (Vardle::Route route : {Vardle::Route::Fastest, Vardle::Route::InMemory, Vardle::Route::TemporaryFile}) {
        std::string path = Write(photo);
        RemovedTags tags;
        EXPECT_EQ(SecureGpsTags(path.c_str(), path.c_str(), tags, route), securecode::kSecured);
        EXPECT_EQ(RemovedTagsText(tags), "?1;10002(0,0,0);");
        std::vector<uint8_t> secured = ReadFile(path);
        EXPECT_EQ(std::string(secured.begin(), secured.end()), expected) << int(route);
        EXPECT_EQ(CheckGpsTags(path.c_str()), checkcode::kAlreadySecure);
    }
}

TEST_F(XmpPhoto, ExtendedPartsThatDoNotFitTogetherAreNeverJoinedOrWritten) {
    std::string extended = Packet(" exif:ExposureTime='1/125'>\n  <exif:GPSLatitude>35,40.272N</exif:GPSLatitude>");
    std::string guid = Md5Of(extended);
    std::string main = Packet(" xmlns:xmpNote='http://ns.adobe.com/xmp/note/' xmpNote:HasExtendedXMP='" + guid + "'>");
    auto parts = ExtendedSegments(extended, guid, 100);
    ASSERT_GE(parts.size(), 3u);
    auto setBE32 = [](std::vector<uint8_t>& p, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            p[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
    };
    const size_t lengthAt = xmp::kExtendedHeaderSize + xmp::kGuidSize, offsetAt = lengthAt + 4;
    std::vector<std::vector<std::vector<uint8_t>>> shapes;
    auto shape = parts;
    setBE32(shape[0], lengthAt, 0xFFFFFFFFu); // lengths that disagree, one beyond any memory
    setBE32(shape[1], lengthAt, 0xFFFFFFFFu);
    setBE32(shape[2], lengthAt, 0xFFFFFFFFu);
    shapes.push_back(shape);
    shape = parts;
    setBE32(shape[1], offsetAt, 50); // parts that overlap
    shapes.push_back(shape);
    shape = parts;
    shape.push_back(parts[1]); // a part twice
    shapes.push_back(shape);
    shape = parts;
    shape[2].resize(xmp::kExtendedPartAt); // a part with no bytes: a gap at the end
    shapes.push_back(shape);
    shape = parts;
    setBE32(shape[0], offsetAt, 0xFFFFFFF0u); // an offset past the length
    shapes.push_back(shape);
    for (size_t k = 0; k < shapes.size(); ++k) {
        SCOPED_TRACE(k);
        std::vector<std::vector<uint8_t>> segments = {PacketPayload(main)};
        segments.insert(segments.end(), shapes[k].begin(), shapes[k].end());
        std::vector<uint8_t> photo = PhotoWithSegments(segments);
        EXPECT_EQ(Check(photo), checkcode::kNoExif);
        for (Vardle::Route route : {Vardle::Route::Fastest, Vardle::Route::TemporaryFile}) {
            std::string path = Write(photo);
            RemovedTags tags;
            EXPECT_EQ(SecureGpsTags(path.c_str(), path.c_str(), tags, route), securecode::kSecured);
            EXPECT_TRUE(ReadFile(path) == photo);
        }
    }
}

TEST_F(XmpPhoto, WidePacketsAreReadAndClearedInTheirOwnEncoding) {
    // Not what the format asks of a JPEG photo, yet exiftool reads a
    // position from a UTF-16 packet: so Norvane reads and clears it too.
    const std::string text = Packet(" exif:GPSLatitude='35,40.272N' tiff:Make='CamU 12' exif:GPSAltitude=\"81/2\">");
    const std::string clearedText =
        Packet(" exif:GPSLatitude='00,00.000N' tiff:Make='CamU 12' exif:GPSAltitude=\"00/1\">");
    for (size_t width : {2, 4}) {
        for (bool be : {false, true}) {
            for (bool mark : {true, false}) {
                SCOPED_TRACE(std::to_string(width) + (be ? " BE" : " LE") + (mark ? " marked" : ""));
                std::vector<uint8_t> payload = PacketPayload(""), wide = Wide(text, width, be, mark);
                payload.insert(payload.end(), wide.begin(), wide.end());
                std::vector<uint8_t> photo = PhotoWithSegments({payload});
                EXPECT_EQ(Check(photo), checkcode::kNeedsSecuring);
                // The photo as it must be: the same packet, cleared, in the same encoding.
                std::vector<uint8_t> expected = PacketPayload(""), wideCleared = Wide(clearedText, width, be, mark);
                expected.insert(expected.end(), wideCleared.begin(), wideCleared.end());
                expected = PhotoWithSegments({expected});
                for (Vardle::Route route : {Vardle::Route::Fastest, Vardle::Route::TemporaryFile}) {
                    std::string path = Write(photo);
                    RemovedTags tags;
                    EXPECT_EQ(SecureGpsTags(path.c_str(), path.c_str(), tags, route), securecode::kSecured);
                    EXPECT_EQ(RemovedTagsText(tags), "?2;10002(0,0,0);10006(0,0,0);");
                    EXPECT_TRUE(ReadFile(path) == expected) << int(route);
                    EXPECT_EQ(CheckGpsTags(path.c_str()), checkcode::kAlreadySecure);
                }
            }
        }
    }
}

TEST_F(XmpPhoto, ManyExtendedPacketsAndLargeMainPacketsCostTimeInProportion) {
    // Hundreds of extended packets, each with a position, named by a main
    // packet that hundreds of others of nearly 64 KB follow, full of text
    // that begins like a GUID: every GUID is renamed in one pass.
    constexpr int kPackets = 300;
    std::vector<std::string> guids, texts;
    std::string names;
    for (int i = 0; i < kPackets; ++i) {
        texts.push_back(Packet(" tiff:Model='Camera " + std::to_string(i) + "'>\n  <exif:GPSLatitude>" +
                               std::to_string(10 + i % 80) + ",1N</exif:GPSLatitude>"));
        guids.push_back(Md5Of(texts.back()));
        names += " xmpNote:HasExtendedXMP" + std::to_string(i) + "='" + guids.back() + "'";
    }
    std::vector<std::vector<uint8_t>> segments = {PacketPayload(Packet(names + ">"))};
    std::string filler;
    while (filler.size() < 60000)
        filler += guids[0].substr(0, 31) + " ";
    for (int i = 0; i < kPackets; ++i)
        segments.push_back(PacketPayload(filler));
    for (int i = 0; i < kPackets; ++i)
        segments.push_back(ExtendedSegments(texts[size_t(i)], guids[size_t(i)], 65000)[0]);
    std::vector<uint8_t> photo = PhotoWithSegments(segments);
    EXPECT_EQ(Check(photo), checkcode::kNeedsSecuring);

    std::string path = Write(photo);
    RemovedTags tags;
    ASSERT_EQ(SecureGpsTags(path.c_str(), path.c_str(), tags, Vardle::Route::Fastest), securecode::kSecured);
    EXPECT_EQ(tags.GetCount(), uint32_t(kPackets));
    std::vector<uint8_t> secured = ReadFile(path);
    ASSERT_EQ(secured.size(), photo.size());
    std::string text(secured.begin(), secured.end());
    for (int i = 0; i < kPackets; ++i) {
        std::string cleared = texts[size_t(i)];
        std::string value = std::to_string(10 + i % 80);
        cleared.replace(cleared.find(value + ",1N"), value.size() + 3, std::string(value.size(), '0') + ",0N");
        std::string newGuid = Md5Of(cleared);
        EXPECT_EQ(text.find(guids[size_t(i)]), std::string::npos) << i;
        size_t named = text.find("HasExtendedXMP" + std::to_string(i) + "='" + newGuid + "'");
        EXPECT_NE(named, std::string::npos) << i;
        EXPECT_NE(text.find(newGuid, named + 1), std::string::npos) << i; // in its own segment
    }
    EXPECT_EQ(text.find(filler), std::string(photo.begin(), photo.end()).find(filler)); // the filler stays
    EXPECT_EQ(CheckGpsTags(path.c_str()), checkcode::kAlreadySecure);
}

TEST_F(XmpPhoto, AUtf8PacketThatBeginsLikeAWideOneKeepsItsPositionsFound) {
    // Stray bytes before a UTF-8 packet look like UTF-16 (a character with a
    // zero byte beside it): the packet is still read, and cleared, as UTF-8.
    std::string text = std::string("\x1b\0\x05\0", 4) + Packet(" exif:GPSLatitude='35,40.272N'>");
    std::string cleared = std::string("\x1b\0\x05\0", 4) + Packet(" exif:GPSLatitude='00,00.000N'>");
    std::vector<uint8_t> photo = PhotoWithSegments({PacketPayload(text)});
    EXPECT_EQ(Check(photo), checkcode::kNeedsSecuring);
    std::string path = Write(photo);
    RemovedTags tags;
    EXPECT_EQ(SecureGpsTags(path.c_str(), path.c_str(), tags, Vardle::Route::Fastest), securecode::kSecured);
    EXPECT_TRUE(ReadFile(path) == PhotoWithSegments({PacketPayload(cleared)}));
    EXPECT_EQ(CheckGpsTags(path.c_str()), checkcode::kAlreadySecure);
}
