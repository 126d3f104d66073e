#pragma once
// Builds JPEG codestreams for tests: real marker syntax around made-up
// tables and entropy-coded data (stuffed zeros and restart markers
// included), with EXIF data in one or several APP1 segments, other APP1
// segments, several scans and bytes after EOI. Not decodable pictures; the
// engine never decodes pictures.

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

class JpegBuilder {
public:
    JpegBuilder() { Marker(0xD8); }

    JpegBuilder& Segment(uint8_t marker, const std::vector<uint8_t>& payload) {
        Marker(marker);
        size_t length = payload.size() + 2;
        bytes.push_back(uint8_t(length >> 8));
        bytes.push_back(uint8_t(length));
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        return *this;
    }
    JpegBuilder& Jfif() { return Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}); }
    // The EXIF data in APP1 segments of at most chunk bytes of data each.
    JpegBuilder& Exif(const std::vector<uint8_t>& tiff, size_t chunk = 65527) {
        for (size_t at = 0; at < tiff.size() || (at == 0 && tiff.empty()); at += chunk) {
            std::vector<uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0};
            size_t n = tiff.size() - at < chunk ? tiff.size() - at : chunk;
            payload.insert(payload.end(), tiff.begin() + long(at), tiff.begin() + long(at + n));
            Segment(0xE1, payload);
            if (tiff.empty())
                break;
        }
        return *this;
    }
    JpegBuilder& Xmp(const std::string& packet) {
        std::string ns = "http://ns.adobe.com/xap/1.0/";
        std::vector<uint8_t> payload(ns.begin(), ns.end());
        payload.push_back(0);
        payload.insert(payload.end(), packet.begin(), packet.end());
        return Segment(0xE1, payload);
    }
    JpegBuilder& Tables() {
        std::vector<uint8_t> dqt(65, 1);
        dqt[0] = 0;
        Segment(0xDB, dqt);
        Segment(0xC0, {8, 0, 16, 0, 16, 1, 1, 0x11, 0});
        std::vector<uint8_t> dht(29, 0);
        dht[1] = 1;
        return Segment(0xC4, dht);
    }
    // A scan header and entropy-coded data of n bytes with 0xFF bytes
    // stuffed and restart markers between intervals.
    JpegBuilder& Scan(size_t n, uint32_t seed = 1) {
        Segment(0xDA, {1, 1, 0, 0, 63, 0});
        uint32_t x = seed;
        for (size_t i = 0; i < n; ++i) {
            x = x * 1103515245u + 12345u;
            uint8_t b = uint8_t(x >> 16);
            bytes.push_back(b);
            if (b == 0xFF)
                bytes.push_back(0x00);
            if (i % 997 == 996) {
                bytes.push_back(0xFF);
                bytes.push_back(uint8_t(0xD0 + (i / 997) % 8));
            }
        }
        return *this;
    }
    JpegBuilder& End() {
        Marker(0xD9);
        return *this;
    }
    JpegBuilder& Raw(const std::vector<uint8_t>& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    // The usual photo: JFIF, EXIF, tables, one scan, EOI.
    static std::vector<uint8_t> Photo(const std::vector<uint8_t>& tiff, size_t scanBytes = 5000) {
        return JpegBuilder().Jfif().Exif(tiff).Tables().Scan(scanBytes).End().bytes;
    }

    std::vector<uint8_t> bytes;

private:
    void Marker(uint8_t m) {
        bytes.push_back(0xFF);
        bytes.push_back(m);
    }
};

} // namespace testing_support
