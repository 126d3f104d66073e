#include "ui/CPictureEx.h"

#include "framework/WorkerThread.h"

#include <cstring>

namespace {

// What starts at a GIF's read position.
enum class BlockKind { Application, Comment, Control, PlainText, Image, Trailer, Unknown };

// A cursor over the blocks of a GIF that never reads past its end.
class GifReader {
public:
    GifReader(const BYTE* data, size_t size, size_t pos) : m_data(data), m_size(size), m_pos(pos) {}

    BlockKind Kind() const {
        if (m_pos >= m_size)
            return BlockKind::Unknown;
        switch (m_data[m_pos]) {
        case 0x3B:
            return BlockKind::Trailer;
        case 0x2C:
            return BlockKind::Image;
        case 0x21:
            if (m_pos + 1 >= m_size)
                return BlockKind::Unknown;
            switch (m_data[m_pos + 1]) {
            case 0xFF:
                return BlockKind::Application;
            case 0xFE:
                return BlockKind::Comment;
            case 0xF9:
                return BlockKind::Control;
            case 0x01:
                return BlockKind::PlainText;
            default:
                return BlockKind::Unknown;
            }
        default:
            return BlockKind::Unknown;
        }
    }

    // Bytes of the block at the read position, 0 when it is not there whole.
    // The fixed part of an application or plain-text extension is itself a
    // sub-block (its size byte says 11 or 12), so every extension but the
    // control extension is its two introducing bytes and a chain.
    size_t BlockLength(BlockKind kind) const {
        size_t left = m_size - m_pos;
        switch (kind) {
        case BlockKind::Application:
        case BlockKind::Comment:
        case BlockKind::PlainText:
            return Chain(m_pos + 2, 2);
        case BlockKind::Control:
            return left >= 8 ? 8 : 0;
        case BlockKind::Image: {
            // Descriptor (10 bytes), local colour table, code size byte, data.
            if (left < 11)
                return 0;
            BYTE flags = m_data[m_pos + 9];
            size_t table = flags & 0x80 ? size_t(3) << ((flags & 7) + 1) : 0;
            if (table > left - 11)
                return 0;
            return Chain(m_pos + 11 + table, 11 + table);
        }
        case BlockKind::Trailer:
            return 1;
        default:
            return 0;
        }
    }

    // Reads the next frame: an optional graphic control extension and an
    // image (or plain text), with the extensions around them. False at the
    // trailer, at a block of no known kind or at one cut short.
    bool ReadFrame(size_t headerSize, CPictureEx::GifFrame& frame) {
        const size_t none = size_t(-1);
        size_t start = none;
        frame = CPictureEx::GifFrame();
        for (;;) {
            BlockKind kind = Kind();
            if (kind == BlockKind::Trailer || kind == BlockKind::Unknown)
                return false;
            size_t length = BlockLength(kind);
            if (length == 0)
                return false;
            const BYTE* block = m_data + m_pos;
            switch (kind) {
            case BlockKind::Control:
                if (start == none)
                    start = m_pos;
                frame.nDelay = DWORD(block[4] | block[5] << 8);
                frame.nDisposal = DWORD(block[3] >> 2) & 7;
                break;
            case BlockKind::Image:
                frame.nLeft = DWORD(block[1] | block[2] << 8);
                frame.nTop = DWORD(block[3] | block[4] << 8);
                frame.nWidth = DWORD(block[5] | block[6] << 8);
                frame.nHeight = DWORD(block[7] | block[8] << 8);
                [[fallthrough]];
            case BlockKind::PlainText: {
                if (start == none)
                    start = m_pos;
                m_pos += length;
                // Header, logical screen and global colour table, the frame's
                // blocks, a trailer: a GIF of its own.
                frame.data.reserve(headerSize + (m_pos - start) + 1);
                frame.data.assign(m_data, m_data + headerSize);
                frame.data.insert(frame.data.end(), m_data + start, m_data + m_pos);
                frame.data.push_back(0x3B);
                return true;
            }
            default:
                // Application and comment extensions: before the frame they
                // are not its part; between its control extension and its
                // image they go along.
                break;
            }
            m_pos += length;
        }
    }

private:
    // before + the length of the sub-block chain at `at` (its terminator
    // included); 0 when the chain runs past the end.
    size_t Chain(size_t at, size_t before) const {
        size_t p = at;
        while (p < m_size && m_data[p] != 0)
            p += size_t(m_data[p]) + 1;
        if (p >= m_size)
            return 0;
        return before + (p + 1 - at);
    }

    const BYTE* m_data;
    size_t m_size;
    size_t m_pos;
};

// Bytes of the global colour table the logical screen descriptor announces.
size_t GlobalTableLength(const BYTE* data) {
    return data[10] & 0x80 ? size_t(3) << ((data[10] & 7) + 1) : 0;
}

} // namespace

CPictureEx::CPictureEx() : m_hExitEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

CPictureEx::~CPictureEx() {
    Unload();
    // The object goes before its window: the window must not reach it.
    UnsubclassWindow();
}

BOOL CPictureEx::LoadFromResource(LPCSTR pszName, LPCSTR pszType, HMODULE hModule) {
    if (!hModule)
        hModule = ::GetModuleHandleA(nullptr);
    HRSRC found = ::FindResourceA(hModule, pszName, pszType);
    if (!found)
        return FALSE;
    DWORD size = ::SizeofResource(hModule, found);
    HGLOBAL loaded = ::LoadResource(hModule, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes || size == 0)
        return FALSE;
    HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, size);
    if (!copy)
        return FALSE;
    void* target = ::GlobalLock(copy);
    if (!target) {
        ::GlobalFree(copy);
        return FALSE;
    }
    std::memcpy(target, bytes, size);
    ::GlobalUnlock(copy);
    BOOL result = LoadFromMemory(copy, size);
    ::GlobalFree(copy);
    return result;
}

bool CPictureEx::SplitGif(const BYTE* data, size_t size, std::vector<GifFrame>& frames) {
    frames.clear();
    if (!data || size < 13 || std::memcmp(data, "GIF", 3) != 0)
        return false;
    size_t header = 13 + GlobalTableLength(data);
    if (header > size)
        return false;
    GifReader reader(data, size, header);
    GifFrame frame;
    while (reader.ReadFrame(header, frame))
        frames.push_back(std::move(frame));
    return true;
}

IPicture* CPictureEx::LoadPicture(HGLOBAL hGlobal, LONG nSize, bool bFreeBlock) {
    IStream* stream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(hGlobal, bFreeBlock, &stream)) || !stream) {
        if (bFreeBlock)
            ::GlobalFree(hGlobal);
        return nullptr;
    }
    IPicture* picture = nullptr;
    HRESULT hr = ::OleLoadPicture(stream, nSize, FALSE, IID_IPicture, reinterpret_cast<void**>(&picture));
    stream->Release();
    if (FAILED(hr)) {
        if (picture)
            picture->Release();
        return nullptr;
    }
    return picture;
}

BOOL CPictureEx::LoadFromMemory(HGLOBAL hGlobal, DWORD dwSize) {
    Unload();
    if (!hGlobal || dwSize == 0)
        return FALSE;
    // A size larger than the block would send every read past its end.
    SIZE_T blockSize = ::GlobalSize(hGlobal);
    if (blockSize < dwSize)
        return FALSE;
    auto* data = static_cast<const BYTE*>(::GlobalLock(hGlobal));
    if (!data)
        return FALSE;

    int width = 0, height = 0;
    if (dwSize < 3 || std::memcmp(data, "GIF", 3) != 0) {
        // Any other picture the loader reads is shown still, at its size in
        // pixels at the screen's resolution.
        ::GlobalUnlock(hGlobal);
        m_pPicture = LoadPicture(hGlobal, LONG(dwSize), false);
        if (!m_pPicture)
            return FALSE;
        OLE_XSIZE_HIMETRIC hmWidth = 0;
        OLE_YSIZE_HIMETRIC hmHeight = 0;
        m_pPicture->get_Width(&hmWidth);
        m_pPicture->get_Height(&hmHeight);
        HDC dc = ::GetDC(m_hWnd);
        width = ::MulDiv(hmWidth, ::GetDeviceCaps(dc, LOGPIXELSX), 2540);
        height = ::MulDiv(hmHeight, ::GetDeviceCaps(dc, LOGPIXELSY), 2540);
        ::ReleaseDC(m_hWnd, dc);
    } else {
        m_bIsGif = true;
        std::vector<GifFrame> frames;
        if (!SplitGif(data, dwSize, frames) || frames.empty()) {
            ::GlobalUnlock(hGlobal);
            Unload();
            return FALSE;
        }
        width = data[6] | data[7] << 8;
        height = data[8] | data[9] << 8;
        // The table is there whole (SplitGif checked), but the index may
        // point past its end.
        if (3 * size_t(data[11]) + 3 <= GlobalTableLength(data)) {
            const BYTE* entry = data + 13 + 3 * size_t(data[11]);
            m_clrBackground = RGB(entry[0], entry[1], entry[2]);
        }
        if (frames.size() == 1) {
            ::GlobalUnlock(hGlobal);
            m_pPicture = LoadPicture(hGlobal, LONG(dwSize), false);
        } else {
            for (const GifFrame& frame : frames) {
                // Nothing of a frame outside the logical screen would show,
                // and one larger than the screen would only cost the loader
                // memory: both are left out.
                if (frame.nWidth == 0 || frame.nHeight == 0 || frame.nLeft >= DWORD(width) ||
                    frame.nTop >= DWORD(height) || frame.nWidth > DWORD(width) ||
                    frame.nHeight > DWORD(height))
                    continue;
                HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, frame.data.size());
                void* target = block ? ::GlobalLock(block) : nullptr;
                if (!target) {
                    if (block)
                        ::GlobalFree(block);
                    continue;
                }
                std::memcpy(target, frame.data.data(), frame.data.size());
                ::GlobalUnlock(block);
                // The stream owns the block from here on.
                IPicture* picture = LoadPicture(block, LONG(frame.data.size()), true);
                if (!picture)
                    continue; // the loader rejects it: the others play
                m_frames.push_back(FrameRecord{picture, frame.nWidth, frame.nHeight, frame.nLeft, frame.nTop,
                                               frame.nDelay, frame.nDisposal});
            }
            ::GlobalUnlock(hGlobal);
        }
        if (!m_pPicture && m_frames.empty()) {
            Unload();
            return FALSE;
        }
    }
    if (!PrepareSurface(width, height)) {
        Unload();
        return FALSE;
    }
    return TRUE;
}

bool CPictureEx::MemoryBitmap::Create(HDC hCompatible, int cx, int cy) {
    HDC dc = ::CreateCompatibleDC(hCompatible);
    HBITMAP bitmap = ::CreateCompatibleBitmap(hCompatible, cx, cy);
    if (!dc || !bitmap) {
        if (dc)
            ::DeleteDC(dc);
        if (bitmap)
            ::DeleteObject(bitmap);
        return false;
    }
    Release();
    hDC = dc;
    hBitmap = bitmap;
    hOldBitmap = ::SelectObject(dc, bitmap);
    return true;
}

void CPictureEx::MemoryBitmap::Release() {
    if (hDC) {
        ::SelectObject(hDC, hOldBitmap);
        ::DeleteDC(hDC);
    }
    if (hBitmap)
        ::DeleteObject(hBitmap);
    hDC = nullptr;
    hBitmap = nullptr;
    hOldBitmap = nullptr;
}

BOOL CPictureEx::PrepareSurface(int nWidth, int nHeight) {
    if (nWidth <= 0 || nHeight <= 0)
        return FALSE;
    HDC dc = ::GetDC(m_hWnd);
    if (!dc)
        return FALSE;
    CCritSecLock lock(m_csSurface);
    bool made = m_surface.Create(dc, nWidth, nHeight);
    ::ReleaseDC(m_hWnd, dc);
    // A logical screen too large for a bitmap: the control keeps its size.
    if (!made)
        return FALSE;
    if (m_hWnd)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, nWidth, nHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_size = {nWidth, nHeight};
    m_clrBackground = ::GetSysColor(COLOR_BTNFACE);
    RECT all = {0, 0, nWidth, nHeight};
    ::FillRect(m_surface.hDC, &all, reinterpret_cast<HBRUSH>(COLOR_MENU + 1));
    m_bInitialised = true;
    return TRUE;
}

void CPictureEx::ReleaseSurface() {
    CCritSecLock lock(m_csSurface);
    ReleaseSavedArea();
    m_surface.Release();
}

void CPictureEx::Unload() {
    // Shutdown order: the player has ended before anything it draws with
    // goes. A player that did not end within a stop's time is still waited
    // for here: freeing its frames under it would crash.
    StopPlaying();
    if (m_hThread.IsValid()) {
        ::WaitForSingleObject(m_hThread.Get(), INFINITE);
        StopPlaying();
    }
    if (m_pPicture)
        m_pPicture->Release();
    m_pPicture = nullptr;
    for (FrameRecord& frame : m_frames)
        if (frame.pPicture)
            frame.pPicture->Release();
    m_frames.clear();
    ReleaseSurface();
    m_bIsGif = false;
    m_bInitialised = false;
    m_size = {0, 0};
    m_clrBackground = RGB(255, 255, 255);
    m_nCurrentFrame = 0;
}

BOOL CPictureEx::Play() {
    if (!m_bInitialised)
        return FALSE;
    if (m_hThread.IsValid()) {
        // Playing already; or a stop that gave up waiting, whose player may
        // have ended since.
        if (!m_bExitFlag)
            return TRUE;
        StopPlaying();
        if (m_hThread.IsValid())
            return FALSE;
    }
    m_hPaintWnd = m_hWnd;
    if (m_frames.size() > 1) {
        // Without its wake-up event the player could neither wait nor stop.
        if (!m_hExitEvent.IsValid())
            return FALSE;
        DWORD id = 0;
        CHandle thread = StartWorkerThread([](LPVOID self) -> UINT { return UINT(PlayerThreadProc(self)); },
                                           this, THREAD_PRIORITY_NORMAL, &id);
        if (!thread.IsValid())
            return FALSE;
        m_nThreadId = id;
        m_hThread = std::move(thread);
        return TRUE;
    }
    // A still picture; or the one frame of an animation whose others were
    // left out, at its own place.
    bool drawn = false;
    {
        CCritSecLock lock(m_csSurface);
        if (m_pPicture) {
            drawn = RenderOnSurface(m_pPicture, 0, 0, m_size.cx, m_size.cy);
        } else if (!m_frames.empty()) {
            const FrameRecord& frame = m_frames[0];
            drawn = RenderOnSurface(frame.pPicture, int(frame.nLeft), int(frame.nTop), int(frame.nWidth),
                                    int(frame.nHeight));
        }
    }
    if (drawn)
        Invalidate();
    return drawn;
}

void CPictureEx::StopPlaying() {
    m_bExitFlag = true;
    ::SetEvent(m_hExitEvent.Get());
    if (m_hThread.IsValid()) {
        if (::WaitForSingleObject(m_hThread.Get(), kStopTimeoutMs) == WAIT_TIMEOUT) {
            // Still drawing: it ends as soon as it looks at the flag, which
            // stays set. The handle is kept, so it is not lost.
            return;
        }
        m_hThread.Close();
        m_nThreadId = 0;
    }
    ::ResetEvent(m_hExitEvent.Get());
    m_bExitFlag = false;
}

bool CPictureEx::RenderOnSurface(IPicture* pPicture, int x, int y, int cx, int cy) {
    if (!pPicture || !m_surface.hDC)
        return false;
    OLE_XSIZE_HIMETRIC hmWidth = 0;
    OLE_YSIZE_HIMETRIC hmHeight = 0;
    pPicture->get_Width(&hmWidth);
    pPicture->get_Height(&hmHeight);
    // HIMETRIC runs upwards: the source rectangle starts at the bottom.
    return SUCCEEDED(pPicture->Render(m_surface.hDC, x, y, cx, cy, 0, hmHeight, hmWidth, -hmHeight, nullptr));
}

RECT CPictureEx::FrameRect(const FrameRecord& frame) const {
    RECT rect = {LONG(frame.nLeft), LONG(frame.nTop), LONG(frame.nLeft + frame.nWidth),
                 LONG(frame.nTop + frame.nHeight)};
    RECT surface = {0, 0, m_size.cx, m_size.cy};
    RECT shown;
    if (!::IntersectRect(&shown, &rect, &surface))
        ::SetRectEmpty(&shown);
    return shown;
}

void CPictureEx::FillSurface(const RECT& rect) {
    if (!m_surface.hDC || ::IsRectEmpty(&rect))
        return;
    HBRUSH brush = ::CreateSolidBrush(m_clrBackground);
    if (brush) {
        ::FillRect(m_surface.hDC, &rect, brush);
        ::DeleteObject(brush);
    }
}

void CPictureEx::SaveArea(const RECT& rect) {
    ReleaseSavedArea();
    if (!m_surface.hDC || ::IsRectEmpty(&rect))
        return;
    int cx = rect.right - rect.left, cy = rect.bottom - rect.top;
    if (!m_saved.Create(m_surface.hDC, cx, cy))
        return;
    m_rcSaved = rect;
    ::BitBlt(m_saved.hDC, 0, 0, cx, cy, m_surface.hDC, rect.left, rect.top, SRCCOPY);
}

void CPictureEx::RestoreArea() {
    if (m_saved.hDC && m_surface.hDC)
        ::BitBlt(m_surface.hDC, m_rcSaved.left, m_rcSaved.top, m_rcSaved.right - m_rcSaved.left,
                 m_rcSaved.bottom - m_rcSaved.top, m_saved.hDC, 0, 0, SRCCOPY);
    ReleaseSavedArea();
}

void CPictureEx::ReleaseSavedArea() {
    m_saved.Release();
    ::SetRectEmpty(&m_rcSaved);
}

void CPictureEx::DisposeFrame(const FrameRecord& frame) {
    if (frame.nDisposal == 2)
        FillSurface(FrameRect(frame));
    else if (frame.nDisposal == 3)
        RestoreArea();
}

void CPictureEx::Invalidate() {
    // Only marks the window: WM_PAINT comes on the window's own thread, so
    // the player never waits for it.
    if (HWND hWnd = m_hPaintWnd.load())
        ::InvalidateRect(hWnd, nullptr, FALSE);
}

DWORD WINAPI CPictureEx::PlayerThreadProc(LPVOID pParam) {
    static_cast<CPictureEx*>(pParam)->PlayerThread();
    return 0;
}

void CPictureEx::PlayerThread() {
    size_t index = m_nCurrentFrame.load();
    if (index >= m_frames.size())
        index = 0;
    {
        // The frame shown when the last play stopped was never disposed of.
        CCritSecLock lock(m_csSurface);
        DisposeFrame(m_frames[index]);
    }
    while (!m_bExitFlag) {
        const FrameRecord& frame = m_frames[index];
        bool drawn;
        {
            CCritSecLock lock(m_csSurface);
            if (frame.nDisposal == 3)
                SaveArea(FrameRect(frame));
            drawn = RenderOnSurface(frame.pPicture, int(frame.nLeft), int(frame.nTop), int(frame.nWidth),
                                    int(frame.nHeight));
        }
        if (drawn)
            Invalidate();
        if (m_bExitFlag)
            break;
        // A frame without a control extension holds until the stop; a delay
        // under 5 hundredths plays as 100 ms, so no file makes this spin.
        DWORD wait = frame.nDelay == kNoDelay ? INFINITE : frame.nDelay >= 5 ? frame.nDelay * 10 : 100;
        // A wait that fails would make the loop spin: the player ends instead.
        if (::WaitForSingleObject(m_hExitEvent.Get(), wait) == WAIT_FAILED || m_bExitFlag)
            break;
        {
            CCritSecLock lock(m_csSurface);
            DisposeFrame(frame);
            if (++index >= m_frames.size()) {
                index = 0;
                RECT all = {0, 0, m_size.cx, m_size.cy};
                FillSurface(all);
            }
        }
        m_nCurrentFrame = index;
    }
}

void CPictureEx::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    if (dc) {
        CCritSecLock lock(m_csSurface);
        if (m_surface.hDC)
            ::BitBlt(dc, 0, 0, m_size.cx, m_size.cy, m_surface.hDC, 0, 0, SRCCOPY);
    }
    ::EndPaint(m_hWnd, &ps);
}

BOOL CPictureEx::OnWndMsg(UINT message, WPARAM, LPARAM, LRESULT* pResult) {
    switch (message) {
    case WM_PAINT:
        // Without a picture the static paints itself (its text is empty).
        if (!m_bInitialised)
            return FALSE;
        OnPaint();
        *pResult = 0;
        return TRUE;
    case WM_ERASEBKGND:
        // The surface covers the whole control: erasing would only flicker.
        if (!m_bInitialised)
            return FALSE;
        *pResult = TRUE;
        return TRUE;
    case WM_DESTROY:
        StopPlaying();
        return FALSE;
    default:
        return FALSE;
    }
}

void CPictureEx::PostNcDestroy() {
    m_hPaintWnd = nullptr;
}
