#pragma once
// GIF files for the picture tests, block by block: a logical screen with a
// four-colour global table, extensions, and frames of one colour each whose
// image data a real decoder accepts. The builder remembers where each frame
// ends, so a test can cut a file anywhere and know how many frames are left
// whole.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace picture_test {

using Bytes = std::vector<uint8_t>;

// Colour indexes of the global table.
enum : uint8_t { kBlack = 0, kRed = 1, kBlue = 2, kGreen = 3 };

class GifBuilder {
public:
    GifBuilder(int width, int height, bool globalTable = true) {
        Text("GIF89a");
        U16(width);
        U16(height);
        // Four entries: size field 1 (2^(1+1)).
        m_bytes.push_back(globalTable ? 0x91 : 0x10);
        m_bytes.push_back(kBlack); // background colour index
        m_bytes.push_back(0);
        if (globalTable) {
            for (uint8_t v : {0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 255, 0})
                m_bytes.push_back(v);
        }
        m_header = m_bytes.size();
    }

    // The looping application extension (NETSCAPE2.0, for ever).
    GifBuilder& Loop() {
        m_bytes.insert(m_bytes.end(), {0x21, 0xFF, 0x0B});
        Text("NETSCAPE2.0");
        m_bytes.insert(m_bytes.end(), {0x03, 0x01, 0x00, 0x00, 0x00});
        return *this;
    }
    GifBuilder& Comment(const std::string& text) {
        m_bytes.insert(m_bytes.end(), {0x21, 0xFE});
        m_bytes.push_back(uint8_t(text.size()));
        Text(text);
        m_bytes.push_back(0);
        return *this;
    }
    GifBuilder& Control(int delay, int disposal) {
        m_bytes.insert(m_bytes.end(), {0x21, 0xF9, 0x04});
        m_bytes.push_back(uint8_t((disposal & 7) << 2));
        U16(delay);
        m_bytes.insert(m_bytes.end(), {0x00, 0x00});
        return *this;
    }
    // A frame of one colour. The image data holds the pixels as plain codes
    // of 3 bits, with a clear code before every second one, so the table
    // never grows.
    GifBuilder& Image(int left, int top, int width, int height, uint8_t colour) {
        m_bytes.push_back(0x2C);
        U16(left);
        U16(top);
        U16(width);
        U16(height);
        m_bytes.push_back(0x00); // no local table, not interlaced
        m_bytes.push_back(2);    // minimum code size
        std::vector<int> codes;
        for (int i = 0; i < width * height; ++i) {
            if (i % 2 == 0)
                codes.push_back(4); // clear
            codes.push_back(colour);
        }
        codes.push_back(5); // end of information
        Bytes packed;
        uint32_t bits = 0, count = 0;
        for (int code : codes) {
            bits |= uint32_t(code) << count;
            count += 3;
            while (count >= 8) {
                packed.push_back(uint8_t(bits));
                bits >>= 8;
                count -= 8;
            }
        }
        if (count)
            packed.push_back(uint8_t(bits));
        for (size_t at = 0; at < packed.size(); at += 255) {
            size_t n = std::min<size_t>(255, packed.size() - at);
            m_bytes.push_back(uint8_t(n));
            m_bytes.insert(m_bytes.end(), packed.begin() + long(at), packed.begin() + long(at + n));
        }
        m_bytes.push_back(0);
        m_frameEnds.push_back(m_bytes.size());
        return *this;
    }
    GifBuilder& Trailer() {
        m_bytes.push_back(0x3B);
        return *this;
    }
    GifBuilder& Raw(const Bytes& bytes) {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }

    const Bytes& bytes() const { return m_bytes; }
    // Header, logical screen and global colour table.
    size_t HeaderSize() const { return m_header; }
    // Offsets just past each frame's image data.
    const std::vector<size_t>& FrameEnds() const { return m_frameEnds; }

private:
    void U16(int v) {
        m_bytes.push_back(uint8_t(v));
        m_bytes.push_back(uint8_t(v >> 8));
    }
    void Text(const std::string& text) { m_bytes.insert(m_bytes.end(), text.begin(), text.end()); }

    Bytes m_bytes;
    size_t m_header = 0;
    std::vector<size_t> m_frameEnds;
};

} // namespace picture_test
