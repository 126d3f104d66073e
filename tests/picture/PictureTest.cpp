// The animated picture control: how it splits a GIF into frames, what it
// makes of files that are cut short or lie, and its player thread on a real
// window, judged by the pixels the window shows and by the thread itself.

#include "GifBuilder.h"
#include "ThreadWatch.h"

#include "ui/CPictureEx.h"

#include "support/PumpUntil.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace {

using namespace picture_test;

// A global block holding the bytes, as the control takes them.
class GlobalBlock {
public:
    explicit GlobalBlock(const Bytes& bytes)
        : m_h(::GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size())) {
        void* p = ::GlobalLock(m_h);
        if (!bytes.empty())
            std::memcpy(p, bytes.data(), bytes.size());
        ::GlobalUnlock(m_h);
    }
    ~GlobalBlock() { ::GlobalFree(m_h); }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    HGLOBAL Get() const { return m_h; }

private:
    HGLOBAL m_h;
};

BOOL Load(CPictureEx& picture, const Bytes& bytes) {
    GlobalBlock block(bytes);
    return picture.LoadFromMemory(block.Get(), DWORD(bytes.size()));
}

// A picture's size in pixels at the screen's resolution.
SIZE PixelSize(IPicture* picture) {
    OLE_XSIZE_HIMETRIC cx = 0;
    OLE_YSIZE_HIMETRIC cy = 0;
    picture->get_Width(&cx);
    picture->get_Height(&cy);
    HDC dc = ::GetDC(nullptr);
    SIZE size = {::MulDiv(cx, ::GetDeviceCaps(dc, LOGPIXELSX), 2540),
                 ::MulDiv(cy, ::GetDeviceCaps(dc, LOGPIXELSY), 2540)};
    ::ReleaseDC(nullptr, dc);
    return size;
}

// Three frames as an encoder writes them: the looping extension first, a
// comment before the second frame's control extension, and a last frame
// without one.
GifBuilder ThreeFrames() {
    GifBuilder gif(20, 10);
    gif.Loop()
        .Control(10, 1)
        .Image(0, 0, 20, 10, kRed)
        .Comment("second")
        .Control(200, 2)
        .Image(10, 5, 5, 5, kBlue)
        .Image(0, 0, 2, 2, kGreen)
        .Trailer();
    return gif;
}

// --- Splitting ---------------------------------------------------------------

TEST(GifSplitting, EachFrameBecomesAGifOfItsOwn) {
    GifBuilder gif = ThreeFrames();
    const Bytes& data = gif.bytes();
    std::vector<CPictureEx::GifFrame> frames;
    ASSERT_TRUE(CPictureEx::SplitGif(data.data(), data.size(), frames));
    ASSERT_EQ(3u, frames.size());

    struct Expected {
        DWORD left, top, width, height, delay, disposal;
    };
    const Expected expected[] = {
        {0, 0, 20, 10, 10, 1},
        {10, 5, 5, 5, 200, 2},
        {0, 0, 2, 2, CPictureEx::kNoDelay, 0},
    };
    size_t header = gif.HeaderSize();
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        const CPictureEx::GifFrame& f = frames[i];
        EXPECT_EQ(expected[i].left, f.nLeft);
        EXPECT_EQ(expected[i].top, f.nTop);
        EXPECT_EQ(expected[i].width, f.nWidth);
        EXPECT_EQ(expected[i].height, f.nHeight);
        EXPECT_EQ(expected[i].delay, f.nDelay);
        EXPECT_EQ(expected[i].disposal, f.nDisposal);
        // The file's header, screen and colour table; the frame; a trailer.
        ASSERT_GT(f.data.size(), header + 1);
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + long(header), f.data.begin()));
        EXPECT_EQ(0x3B, f.data.back());
        // Its blocks end where the frame ends in the file.
        size_t end = gif.FrameEnds()[i];
        size_t length = f.data.size() - header - 1;
        EXPECT_TRUE(
            std::equal(f.data.begin() + long(header), f.data.end() - 1, data.begin() + long(end - length)));
    }
    // Blocks before a frame's control extension are not the frame's: the
    // looping extension and the comment stay out.
    EXPECT_EQ(0x21, frames[0].data[header]);
    EXPECT_EQ(0xF9, frames[0].data[header + 1]);
    EXPECT_EQ(0xF9, frames[1].data[header + 1]);
    EXPECT_EQ(0x2C, frames[2].data[header]);
}

TEST(GifSplitting, AFileCutAnywhereKeepsTheFramesThatAreWhole) {
    GifBuilder gif = ThreeFrames();
    const Bytes& data = gif.bytes();
    for (size_t cut = 0; cut <= data.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        std::vector<CPictureEx::GifFrame> frames;
        bool ok = CPictureEx::SplitGif(data.data(), cut, frames);
        if (cut < gif.HeaderSize()) {
            EXPECT_FALSE(ok);
            EXPECT_TRUE(frames.empty());
            continue;
        }
        ASSERT_TRUE(ok);
        size_t whole = 0;
        for (size_t end : gif.FrameEnds())
            whole += end <= cut;
        EXPECT_EQ(whole, frames.size());
    }
}

TEST(GifSplitting, LengthsThatPointPastTheEndStopTheList) {
    struct Case {
        const char* name;
        Bytes tail;
    };
    const Case cases[] = {
        // A sub-block announces 255 bytes; 3 follow.
        {"sub-block", {0x21, 0xFE, 0xFF, 'a', 'b', 'c'}},
        // An image descriptor announces a local table of 768 bytes.
        {"local table", {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0x87, 2, 1, 0, 0}},
        // A descriptor cut before its flags.
        {"descriptor", {0x2C, 0, 0, 0, 0, 2}},
        // A control extension cut inside.
        {"control", {0x21, 0xF9, 0x04, 0x04}},
        // A block of no known kind.
        {"unknown", {0x99, 0x2C, 0, 0}},
        // An introducer as the last byte.
        {"introducer", {0x21}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GifBuilder gif(20, 10);
        gif.Control(10, 1).Image(0, 0, 4, 4, kRed).Raw(c.tail);
        std::vector<CPictureEx::GifFrame> frames;
        ASSERT_TRUE(CPictureEx::SplitGif(gif.bytes().data(), gif.bytes().size(), frames));
        EXPECT_EQ(1u, frames.size());
    }
    // A global table announced but missing: not even a header.
    Bytes header = GifBuilder(20, 10).bytes();
    header.resize(15);
    std::vector<CPictureEx::GifFrame> frames;
    EXPECT_FALSE(CPictureEx::SplitGif(header.data(), header.size(), frames));
}

// --- Loading -----------------------------------------------------------------

TEST(PictureLoading, AnAnimationDecodesEveryFrameOnce) {
    CPictureEx picture;
    ASSERT_TRUE(Load(picture, ThreeFrames().bytes()));
    EXPECT_TRUE(picture.IsGif());
    EXPECT_TRUE(picture.IsInitialised());
    EXPECT_FALSE(picture.HasSinglePicture());
    EXPECT_EQ(20, picture.GetSize().cx);
    EXPECT_EQ(10, picture.GetSize().cy);
    ASSERT_EQ(3u, picture.GetFrameCount());
    const DWORD delays[] = {10, 200, CPictureEx::kNoDelay};
    for (size_t i = 0; i < 3; ++i) {
        const CPictureEx::FrameRecord& f = picture.GetFrame(i);
        ASSERT_NE(nullptr, f.pPicture);
        SIZE size = PixelSize(f.pPicture);
        EXPECT_EQ(LONG(f.nWidth), size.cx) << i;
        EXPECT_EQ(LONG(f.nHeight), size.cy) << i;
        EXPECT_EQ(delays[i], f.nDelay) << i;
    }
    EXPECT_EQ(0u, picture.GetCurrentFrame());

    // Unload lets go of every frame: one held here is then the last.
    IPicture* held = picture.GetFrame(1).pPicture;
    held->AddRef();
    picture.Unload();
    EXPECT_EQ(0u, held->Release());
    EXPECT_EQ(0u, picture.GetFrameCount());
    EXPECT_FALSE(picture.IsInitialised());
    EXPECT_EQ(RGB(255, 255, 255), picture.GetBkColor());
    EXPECT_EQ(0, picture.GetSize().cx);
}

TEST(PictureLoading, FilesWithoutAFrameOrPictureLeaveTheControlEmpty) {
    GifBuilder noFrames(20, 10);
    noFrames.Loop().Comment("nothing").Trailer();
    GifBuilder noTable(20, 10);
    Bytes cutHeader = noTable.bytes();
    cutHeader.resize(12);
    const Bytes notAPicture = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'};
    GifBuilder hugeScreen(60000, 60000);
    hugeScreen.Image(0, 0, 1, 1, kRed).Image(0, 0, 1, 1, kBlue).Trailer();
    for (const Bytes* bytes :
         std::vector<const Bytes*>{&noFrames.bytes(), &cutHeader, &notAPicture, &hugeScreen.bytes()}) {
        CPictureEx picture;
        EXPECT_FALSE(Load(picture, *bytes));
        EXPECT_FALSE(picture.IsInitialised());
        EXPECT_EQ(0, picture.GetSize().cx);
        EXPECT_EQ(0u, picture.GetFrameCount());
        EXPECT_FALSE(picture.Play());
        EXPECT_EQ(0u, picture.GetPlayerThreadId());
    }
}

TEST(PictureLoading, CutFilesLoadTheFramesThatAreWhole) {
    GifBuilder gif = ThreeFrames();
    const Bytes& data = gif.bytes();
    for (size_t cut = 0; cut <= data.size(); cut += 3) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        Bytes part(data.begin(), data.begin() + long(cut));
        size_t whole = 0;
        for (size_t end : gif.FrameEnds())
            whole += end <= cut;
        CPictureEx picture;
        BOOL loaded = Load(picture, part);
        if (whole == 0) {
            EXPECT_FALSE(loaded);
        } else if (whole > 1) {
            // Each frame is a whole GIF of its own, whatever follows it.
            EXPECT_TRUE(loaded);
            EXPECT_EQ(whole, picture.GetFrameCount());
        } else if (loaded) {
            // One frame is the whole file for the loader, which may or may
            // not take a file without its trailer.
            EXPECT_TRUE(picture.HasSinglePicture());
        }
    }
}

TEST(PictureLoading, FramesOutsideTheScreenAreLeftOut) {
    GifBuilder gif(20, 10);
    gif.Control(10, 1)
        .Image(0, 0, 20, 10, kRed)
        .Control(10, 1)
        .Image(1000, 0, 4, 4, kBlue) // wholly outside
        .Control(10, 1)
        .Image(15, 5, 10, 10, kBlue) // reaches past two edges
        .Control(10, 1)
        .Image(0, 0, 40, 40, kGreen) // larger than the screen
        .Trailer();
    CPictureEx picture;
    ASSERT_TRUE(Load(picture, gif.bytes()));
    ASSERT_EQ(2u, picture.GetFrameCount());
    EXPECT_EQ(15u, picture.GetFrame(1).nLeft);
}

TEST(PictureLoading, OneFrameOrAnotherFormatIsAStillPicture) {
    GifBuilder one(20, 10);
    one.Control(10, 1).Image(0, 0, 20, 10, kRed).Trailer();
    CPictureEx gif;
    ASSERT_TRUE(Load(gif, one.bytes()));
    EXPECT_TRUE(gif.HasSinglePicture());
    EXPECT_EQ(0u, gif.GetFrameCount());
    EXPECT_TRUE(gif.Play());
    EXPECT_FALSE(gif.IsPlaying());
    EXPECT_EQ(0u, gif.GetPlayerThreadId());

    // An 8 x 4 bitmap file, 24 bits a pixel.
    Bytes bmp(14 + 40 + 8 * 3 * 4, 0);
    BITMAPFILEHEADER file = {0x4D42, DWORD(bmp.size()), 0, 0, 54};
    BITMAPINFOHEADER info = {40, 8, 4, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::memcpy(bmp.data(), &file, 14);
    std::memcpy(bmp.data() + 14, &info, 40);
    CPictureEx still;
    ASSERT_TRUE(Load(still, bmp));
    EXPECT_FALSE(still.IsGif());
    EXPECT_TRUE(still.HasSinglePicture());
    EXPECT_EQ(8, still.GetSize().cx);
    EXPECT_EQ(4, still.GetSize().cy);
}

// --- Playing on a window -------------------------------------------------------

// A top-level window with a static control, as a dialog holds one.
class PlayerTest : public ::testing::Test {
protected:
    static constexpr int kControlId = 1011;
    void SetUp() override {
        m_hParent = ::CreateWindowExA(0, "Static", "", WS_POPUP | WS_VISIBLE, 40, 40, 200, 100, nullptr,
                                      nullptr, ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, m_hParent) << "no display? set DISPLAY to a running X server";
        HWND control =
            ::CreateWindowExA(0, "Static", "Static", WS_CHILD | WS_VISIBLE, 10, 10, 150, 60, m_hParent,
                              HMENU(UINT_PTR(kControlId)), ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, control);
        m_picture.reset(new CPictureEx);
        ASSERT_TRUE(m_picture->SubclassDlgItem(m_hParent, kControlId));
    }
    void TearDown() override {
        m_picture.reset();
        if (m_hParent)
            ::DestroyWindow(m_hParent);
        Pump(0);
    }
    bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs = 10000) {
        return testing_support::PumpUntil(nullptr, pred, timeoutMs);
    }
    void Pump(DWORD ms) {
        PumpUntil([] { return false; }, ms);
    }
    // What the control shows at a point of its client area.
    COLORREF Pixel(int x, int y) {
        HDC dc = ::GetDC(m_picture->m_hWnd);
        COLORREF colour = ::GetPixel(dc, x, y);
        ::ReleaseDC(m_picture->m_hWnd, dc);
        return colour;
    }
    bool Shows(int x, int y, COLORREF colour) {
        return PumpUntil([&] { return Pixel(x, y) == colour; });
    }

    HWND m_hParent = nullptr;
    std::unique_ptr<CPictureEx> m_picture;
};

TEST_F(PlayerTest, FramesAreDrawnAtTheirPlacesAndDisposedOf) {
    const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255), green = RGB(0, 255, 0);
    const COLORREF background = ::GetSysColor(COLOR_BTNFACE);
    // Blue is drawn over the red for a second, then disposed of: its place
    // filled with the background (2) or given back what lay under it (3).
    // Green is drawn and holds, having no control extension.
    for (auto [disposal, underBlue] : {std::pair{2, background}, std::pair{3, red}}) {
        SCOPED_TRACE("disposal " + std::to_string(disposal));
        GifBuilder gif(20, 10);
        gif.Control(10, 1)
            .Image(0, 0, 20, 10, kRed)
            .Control(100, disposal)
            .Image(10, 5, 5, 5, kBlue)
            .Image(0, 0, 2, 2, kGreen)
            .Trailer();
        ASSERT_TRUE(Load(*m_picture, gif.bytes()));
        RECT r;
        ::GetClientRect(m_picture->m_hWnd, &r);
        EXPECT_EQ(20, r.right);
        EXPECT_EQ(10, r.bottom);
        EXPECT_EQ(background, m_picture->GetBkColor());

        ASSERT_TRUE(m_picture->Play());
        EXPECT_TRUE(Shows(12, 7, blue));
        EXPECT_TRUE(Shows(0, 0, green));
        EXPECT_EQ(2u, m_picture->GetCurrentFrame());
        EXPECT_EQ(underBlue, Pixel(12, 7));
        EXPECT_EQ(red, Pixel(5, 5));
        EXPECT_EQ(red, Pixel(19, 9));
    }
}

TEST_F(PlayerTest, StopEndsThePlayerAtOnceEvenOnAFrameThatHolds) {
    GifBuilder gif(20, 10);
    gif.Control(10, 1).Image(0, 0, 20, 10, kRed).Image(0, 0, 2, 2, kGreen).Trailer();
    ASSERT_TRUE(Load(*m_picture, gif.bytes()));
    ASSERT_TRUE(m_picture->Play());
    ThreadWatch player(*m_picture);
    ASSERT_TRUE(player.IsRunning());
    // Playing again starts no second player.
    EXPECT_TRUE(m_picture->Play());
    EXPECT_EQ(player.Id(), m_picture->GetPlayerThreadId());
    ASSERT_TRUE(Shows(0, 0, RGB(0, 255, 0)));

    // The green frame would hold for ever: only the stop's event ends the
    // wait. A player that slept would outlast the stop's patience.
    m_picture->StopPlaying();
    EXPECT_TRUE(player.HasEnded());
    EXPECT_FALSE(player.IsListed());
    EXPECT_FALSE(m_picture->IsPlaying());
    EXPECT_EQ(0u, m_picture->GetPlayerThreadId());
    EXPECT_EQ(1u, m_picture->GetCurrentFrame());
    // A second stop finds nothing to stop.
    m_picture->StopPlaying();
    EXPECT_FALSE(m_picture->IsPlaying());

    // Playing again goes on from the frame it stopped at.
    ASSERT_TRUE(m_picture->Play());
    ThreadWatch again(*m_picture);
    EXPECT_TRUE(again.IsRunning());
    EXPECT_EQ(1u, m_picture->GetCurrentFrame());
    Pump(300);
    EXPECT_EQ(1u, m_picture->GetCurrentFrame());
    EXPECT_EQ(RGB(0, 255, 0), Pixel(0, 0));
}

TEST_F(PlayerTest, ShortDelaysPlayAtATenthOfASecond) {
    // Four frames of delay 0 and one that holds: the player reaches the last
    // only after four waits.
    GifBuilder gif(20, 10);
    for (int i = 0; i < 4; ++i)
        gif.Control(i % 2 ? 0 : 4, 1).Image(0, 0, 20, 10, i % 2 ? kRed : kBlue);
    gif.Image(0, 0, 20, 10, kGreen).Trailer();
    ASSERT_TRUE(Load(*m_picture, gif.bytes()));
    DWORD start = ::GetTickCount();
    ASSERT_TRUE(m_picture->Play());
    ASSERT_TRUE(PumpUntil([&] { return m_picture->GetCurrentFrame() == 4; }));
    EXPECT_GE(::GetTickCount() - start, 300u);
}

TEST_F(PlayerTest, FramesReachingPastTheScreenPlayCutAtItsEdge) {
    GifBuilder gif(20, 10);
    gif.Control(0, 1)
        .Image(0, 0, 20, 10, kRed)
        .Control(0, 1)
        .Image(1000, 1000, 4, 4, kGreen)
        .Control(0, 2)
        .Image(15, 5, 10, 10, kBlue)
        .Trailer();
    ASSERT_TRUE(Load(*m_picture, gif.bytes()));
    ASSERT_TRUE(m_picture->Play());
    EXPECT_TRUE(Shows(19, 9, RGB(0, 0, 255)));
    // Around the loop again: the red frame comes back.
    EXPECT_TRUE(Shows(19, 9, RGB(255, 0, 0)));
    m_picture->StopPlaying();
    EXPECT_FALSE(m_picture->IsPlaying());
}

TEST_F(PlayerTest, WhatCannotPlayKeepsTheControlAndALoneFrameStaysStill) {
    // A screen too large for a bitmap: the load fails before the control is
    // resized to it.
    GifBuilder huge(60000, 60000);
    huge.Image(0, 0, 1, 1, kRed).Image(0, 0, 1, 1, kBlue).Trailer();
    EXPECT_FALSE(Load(*m_picture, huge.bytes()));
    RECT r;
    ::GetClientRect(m_picture->m_hWnd, &r);
    EXPECT_EQ(150, r.right);
    EXPECT_EQ(60, r.bottom);

    // Of two frames one lies outside: the other is shown at its place, still.
    GifBuilder lone(20, 10);
    lone.Control(10, 1).Image(500, 0, 4, 4, kGreen).Control(10, 1).Image(10, 5, 5, 5, kBlue).Trailer();
    ASSERT_TRUE(Load(*m_picture, lone.bytes()));
    ASSERT_EQ(1u, m_picture->GetFrameCount());
    EXPECT_TRUE(m_picture->Play());
    EXPECT_FALSE(m_picture->IsPlaying());
    EXPECT_TRUE(Shows(12, 7, RGB(0, 0, 255)));
    EXPECT_EQ(::GetSysColor(COLOR_MENU), Pixel(2, 2));
}

TEST_F(PlayerTest, TheWindowsEndAndTheObjectsEndStopThePlayer) {
    GifBuilder gif(20, 10);
    gif.Control(10, 1).Image(0, 0, 20, 10, kRed).Control(10, 1).Image(0, 0, 20, 10, kBlue).Trailer();
    ASSERT_TRUE(Load(*m_picture, gif.bytes()));
    ASSERT_TRUE(m_picture->Play());
    ThreadWatch first(*m_picture);
    ASSERT_TRUE(first.IsRunning());
    ::DestroyWindow(m_hParent);
    m_hParent = nullptr;
    EXPECT_TRUE(first.HasEnded());
    EXPECT_EQ(nullptr, m_picture->m_hWnd);
    EXPECT_EQ(2u, m_picture->GetFrameCount()); // kept until the object goes

    // Without a window it plays all the same; the object's end stops it and
    // lets go of the frames.
    ASSERT_TRUE(m_picture->Play());
    ThreadWatch second(*m_picture);
    ASSERT_TRUE(second.IsRunning());
    IPicture* held = m_picture->GetFrame(0).pPicture;
    held->AddRef();
    m_picture.reset();
    EXPECT_TRUE(second.HasEnded());
    EXPECT_FALSE(second.IsListed());
    EXPECT_EQ(0u, held->Release());
}

} // namespace
