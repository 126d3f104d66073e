#pragma once
// A static control that shows a picture and plays a GIF of several frames as
// an animation: the scanning page's picture.
//
// How it works:
// - Loading splits an animated GIF into one stand-alone GIF per frame (the
//   file's header, logical screen and global colour table, then the frame's
//   own blocks, then a trailer) and has the system's OLE picture loader
//   decode each one, once. The loader knows nothing of timing and disposal:
//   the control keeps them from the frames' graphic control extensions.
// - Every length the file states is checked against the data before it is
//   followed, so a truncated or lying file ends the frame list where it goes
//   wrong instead of reading past the end. A frame that lies wholly outside
//   the logical screen, or is larger than it, is left out (nothing of it
//   could show, and decoding it would only cost memory); a frame that
//   reaches past an edge is drawn cut at the edge.
// - All drawing goes into an off-screen surface of the picture's size. The
//   player thread draws each frame into it and invalidates the control;
//   WM_PAINT copies the surface to the screen. A lock around the surface
//   keeps a paint from showing a frame half drawn.
// - The player waits between frames on an event, so a stop wakes it at
//   once: stopping never takes longer than drawing one frame.
//
// Lifetime: WM_DESTROY stops the player; destruction (or Unload) also
// releases the frames and the surface.

#include "framework/Controls.h"
#include "framework/WinHandles.h"

#include <windows.h>
// after windows.h, which it needs
#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <cstddef>
#include <vector>

class CPictureEx : public CStatic {
public:
    // One decoded frame of an animation. nDelay is in hundredths of a second,
    // kNoDelay for a frame without a graphic control extension.
    struct FrameRecord {
        IPicture* pPicture;
        DWORD nWidth;
        DWORD nHeight;
        DWORD nLeft;
        DWORD nTop;
        DWORD nDelay;
        DWORD nDisposal;
    };
    static constexpr DWORD kNoDelay = 0xFFFFFFFF;

    // One frame of a GIF as a stand-alone GIF file, with what the control
    // keeps of its blocks.
    struct GifFrame {
        std::vector<BYTE> data;
        DWORD nLeft = 0, nTop = 0, nWidth = 0, nHeight = 0;
        DWORD nDelay = kNoDelay;
        DWORD nDisposal = 0;
    };

    CPictureEx();
    ~CPictureEx() override;

    // SubclassDlgItem (of CWnd) binds the control to the dialog's item and
    // takes over its painting; FALSE when the dialog has no such item.

    // The picture of a resource of the program (or of hModule). FALSE when
    // it cannot be found or read, or is no picture.
    BOOL LoadFromResource(LPCSTR pszName, LPCSTR pszType, HMODULE hModule = nullptr);
    // A GIF (animated or not), or any other picture the OLE loader reads, in
    // a global memory block that stays the caller's.
    BOOL LoadFromMemory(HGLOBAL hGlobal, DWORD dwSize);
    // Starts the animation, or draws a still picture. Nothing when nothing is
    // loaded or the animation is already playing.
    BOOL Play();
    // Ends the player thread; the picture keeps the frame it shows and a
    // later Play goes on from there.
    void StopPlaying();
    // Stops playing and releases every picture and the surface.
    void Unload();

    // Splits a GIF into its frames, each a stand-alone GIF. FALSE for data
    // that is no GIF or whose header is cut short. The list ends before the
    // first frame that cannot be read whole.
    static bool SplitGif(const BYTE* data, size_t size, std::vector<GifFrame>& frames);

    bool IsGif() const { return m_bIsGif; }
    bool IsInitialised() const { return m_bInitialised; }
    bool IsPlaying() const { return m_hThread.IsValid(); }
    SIZE GetSize() const { return m_size; }
    COLORREF GetBkColor() const { return m_clrBackground; }
    bool HasSinglePicture() const { return m_pPicture != nullptr; }
    size_t GetFrameCount() const { return m_frames.size(); }
    const FrameRecord& GetFrame(size_t nIndex) const { return m_frames[nIndex]; }
    // Where the player is, or goes on from.
    size_t GetCurrentFrame() const { return m_nCurrentFrame.load(); }
    // The player thread's id while it runs, 0 otherwise.
    DWORD GetPlayerThreadId() const { return m_nThreadId; }

    // How long a stop waits for the player before giving up on it.
    static constexpr DWORD kStopTimeoutMs = 5000;

protected:
    BOOL PrepareSurface(int nWidth, int nHeight);
    void ReleaseSurface();
    // Loads a picture from the first nSize bytes of a global block (the
    // stream frees the block when bFreeBlock). Null when the loader rejects it.
    static IPicture* LoadPicture(HGLOBAL hGlobal, LONG nSize, bool bFreeBlock);
    // Draws the picture at the rectangle, onto the surface.
    bool RenderOnSurface(IPicture* pPicture, int x, int y, int cx, int cy);
    // The frame's rectangle cut to the surface; empty when nothing of it shows.
    RECT FrameRect(const FrameRecord& frame) const;
    void FillSurface(const RECT& rect);
    void SaveArea(const RECT& rect);
    void RestoreArea();
    void ReleaseSavedArea();
    void DisposeFrame(const FrameRecord& frame);
    void Invalidate();

    static DWORD WINAPI PlayerThreadProc(LPVOID pParam);
    void PlayerThread();

    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    void PostNcDestroy() override;
    void OnPaint();

    bool m_bIsGif = false;
    bool m_bInitialised = false;
    SIZE m_size = {0, 0};
    COLORREF m_clrBackground = RGB(255, 255, 255);
    IPicture* m_pPicture = nullptr;
    std::vector<FrameRecord> m_frames;
    std::atomic<size_t> m_nCurrentFrame{0};

    // A memory device context with a bitmap of its own selected into it.
    struct MemoryBitmap {
        HDC hDC = nullptr;
        HBITMAP hBitmap = nullptr;
        HGDIOBJ hOldBitmap = nullptr;
        // Makes both, compatible with hCompatible; false (and nothing made)
        // when either cannot be made.
        bool Create(HDC hCompatible, int cx, int cy);
        void Release();
    };

    // The off-screen surface and, for disposal 3, what lay under the frame.
    MemoryBitmap m_surface;
    MemoryBitmap m_saved;
    RECT m_rcSaved = {0, 0, 0, 0};
    CCriticalSection m_csSurface;

    CHandle m_hExitEvent;
    std::atomic<bool> m_bExitFlag{false};
    CHandle m_hThread;
    DWORD m_nThreadId = 0;
    // The window the player invalidates; set before it starts, cleared when
    // the window goes.
    std::atomic<HWND> m_hPaintWnd{nullptr};
};
