// The program's resources, loaded from this test program the way the program
// loads them: the title, the pictures, the version, the manifest and the
// pages of the main window, which are also laid out in a real wizard sheet.
#include <windows.h>

#include <commctrl.h>
#include <prsht.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/support/Screenshot.h"

namespace {

HINSTANCE Self() {
    return ::GetModuleHandleA(nullptr);
}

// --- Title, version, manifest -------------------------------------------

TEST(ProgramIdentity, TitleAndVersion) {
    char title[64] = {};
    ASSERT_EQ(7, ::LoadStringA(Self(), IDS_APP_TITLE, title, sizeof title));
    EXPECT_STREQ("Norvane", title);

    char path[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetModuleFileNameA(nullptr, path, MAX_PATH));
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
    ASSERT_NE(0u, size);
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoA(path, 0, size, info.data()));

    auto value = [&](const char* name) -> std::string {
        char* text = nullptr;
        UINT length = 0;
        std::string query = std::string("\\StringFileInfo\\040904E4\\") + name;
        if (!::VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) || !text)
            return "<missing>";
        return text;
    };
    EXPECT_EQ("1.0.0.1", value("FileVersion"));
    EXPECT_EQ("Norvane", value("ProductName"));
    EXPECT_EQ("1.0.0.1", value("ProductVersion"));
    EXPECT_NE("<missing>", value("CompanyName"));
    EXPECT_NE("<missing>", value("FileDescription"));

    // The numbers that Explorer's details show must say the same.
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00000001u, fixed->dwFileVersionLS);

    WORD* translation = nullptr;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                                 reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1252, translation[1]);
}

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR name, LONG_PTR count) {
    auto* names = reinterpret_cast<std::vector<ULONG_PTR>*>(count);
    names->push_back(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

TEST(ProgramIdentity, OneManifestThatTheSystemHonours) {
    std::vector<ULONG_PTR> manifests;
    ::EnumResourceNamesA(Self(), reinterpret_cast<LPCSTR>(RT_MANIFEST), CountName,
                         reinterpret_cast<LONG_PTR>(&manifests));
    ASSERT_EQ(1u, manifests.size());
    EXPECT_EQ(1u, manifests[0]);

    EXPECT_EQ(65001u, ::GetACP());

    // Common controls 6 come only through the manifest's dependency.
    INITCOMMONCONTROLSEX init = {sizeof init, ICC_WIN95_CLASSES};
    ASSERT_TRUE(::InitCommonControlsEx(&init));
    HMODULE comctl = ::LoadLibraryA("comctl32.dll");
    ASSERT_NE(nullptr, comctl);
    auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(::GetProcAddress(comctl, "DllGetVersion")));
    ASSERT_NE(nullptr, getVersion);
    DLLVERSIONINFO version = {};
    version.cbSize = sizeof version;
    ASSERT_EQ(S_OK, getVersion(&version));
    // Wine's side-by-side copy still answers 5 here; where it was loaded from
    // tells the versions apart on both systems.
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(comctl, path, MAX_PATH);
    std::string where = path;
    for (char& c : where)
        c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(version.dwMajorVersion == 6 ||
                where.find("microsoft.windows.common-controls_6595b64144ccf1df_6.") != std::string::npos)
        << path << " " << version.dwMajorVersion;

    // Per monitor. Wine 8 answers per-monitor, but not with the v2 context
    // that Windows 10 gives, so only the awareness is compared.
    EXPECT_EQ(DPI_AWARENESS_PER_MONITOR_AWARE,
              ::GetAwarenessFromDpiAwarenessContext(::GetThreadDpiAwarenessContext()));
}

// --- Pictures -------------------------------------------------------------

// The image of an icon group that the system picks for a size, as stored.
const BYTE* IconImage(int group, int size, DWORD* bytes) {
    HRSRC dir = ::FindResourceA(Self(), MAKEINTRESOURCEA(group), reinterpret_cast<LPCSTR>(RT_GROUP_ICON));
    if (!dir)
        return nullptr;
    auto* data = static_cast<BYTE*>(::LockResource(::LoadResource(Self(), dir)));
    int id = ::LookupIconIdFromDirectoryEx(data, TRUE, size, size, LR_DEFAULTCOLOR);
    HRSRC image = ::FindResourceA(Self(), MAKEINTRESOURCEA(id), reinterpret_cast<LPCSTR>(RT_ICON));
    if (!image)
        return nullptr;
    *bytes = ::SizeofResource(Self(), image);
    return static_cast<const BYTE*>(::LockResource(::LoadResource(Self(), image)));
}

// A 32-bit image of exactly that size whose alpha channel is used: clear
// around the mark, opaque on it.
void ExpectAlphaImage(int group, int size) {
    SCOPED_TRACE("icon " + std::to_string(group) + " at " + std::to_string(size));
    DWORD bytes = 0;
    const BYTE* image = IconImage(group, size, &bytes);
    ASSERT_NE(nullptr, image);
    if (bytes >= 24 && std::memcmp(image, "\x89PNG", 4) == 0) {
        auto be32 = [&](int at) {
            return image[at] << 24 | image[at + 1] << 16 | image[at + 2] << 8 | image[at + 3];
        };
        EXPECT_EQ(size, be32(16));
        EXPECT_EQ(size, be32(20));
        EXPECT_EQ(6, image[25]) << "PNG colour type: RGBA";
        return;
    }
    ASSERT_GE(bytes, sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, image, sizeof header);
    EXPECT_EQ(size, header.biWidth);
    EXPECT_EQ(2 * size, header.biHeight); // colour and mask
    ASSERT_EQ(32, header.biBitCount);
    ASSERT_GE(bytes, header.biSize + 4u * size * size);
    int clear = 0, opaque = 0;
    for (int i = 0; i < size * size; ++i) {
        BYTE alpha = image[header.biSize + 4 * i + 3];
        clear += alpha == 0;
        opaque += alpha == 255;
    }
    EXPECT_GT(clear, size * size / 10);
    EXPECT_GT(opaque, size * size / 3);
}

TEST(Pictures, IconsAtEverySizeTheyAreShownAt) {
    for (int id : {IDR_MAINFRAME, IDI_TRAY_IDLE, IDI_TRAY_INWORK, IDI_TRAY_START}) {
        for (int size : {16, 32}) {
            HANDLE icon = ::LoadImageA(Self(), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
            EXPECT_NE(nullptr, icon) << id << " at " << size;
            if (icon)
                ::DestroyIcon(static_cast<HICON>(icon));
            ExpectAlphaImage(id, size);
        }
    }
    // The tray loads its images at the system's small size.
    EXPECT_NE(nullptr, ::LoadIconA(Self(), MAKEINTRESOURCEA(IDI_TRAY_IDLE)));
    ExpectAlphaImage(IDR_MAINFRAME, 48);
    ExpectAlphaImage(IDR_MAINFRAME, 256);
}

TEST(Pictures, TrayImagesDifferFromEachOther) {
    int ids[] = {IDI_TRAY_IDLE, IDI_TRAY_INWORK, IDI_TRAY_START};
    for (int a = 0; a < 3; ++a) {
        for (int b = a + 1; b < 3; ++b) {
            DWORD sizeA = 0, sizeB = 0;
            const BYTE* imageA = IconImage(ids[a], 16, &sizeA);
            const BYTE* imageB = IconImage(ids[b], 16, &sizeB);
            ASSERT_TRUE(imageA && imageB);
            EXPECT_FALSE(sizeA == sizeB && std::memcmp(imageA, imageB, sizeA) == 0)
                << ids[a] << " " << ids[b];
        }
    }
}

TEST(Pictures, HeaderBitmapIs50By50TrueColour) {
    HANDLE bitmap =
        ::LoadImageA(Self(), MAKEINTRESOURCEA(IDB_HEADER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    ASSERT_NE(nullptr, bitmap);
    DIBSECTION dib = {};
    ASSERT_EQ(static_cast<int>(sizeof dib), ::GetObjectA(bitmap, sizeof dib, &dib));
    EXPECT_EQ(50, dib.dsBm.bmWidth);
    EXPECT_EQ(50, dib.dsBm.bmHeight);
    EXPECT_EQ(24, dib.dsBm.bmBitsPixel);
    EXPECT_EQ(24, dib.dsBmih.biBitCount);
    ::DeleteObject(bitmap);
}

// The blocks of a GIF after its header and colour table, as the scanning
// page's control meets them. Walked here on its own, so a fault of the
// control's reader cannot hide a fault of the file.
struct GifWalk {
    struct Frame {
        bool hasControl = false;
        int delay = 0, disposal = 0, left = 0, top = 0, width = 0, height = 0;
        bool localTable = false, transparent = false;
    };
    std::vector<std::string> blocks; // "app:<identifier>", "control", "image", "comment", ...
    std::vector<Frame> frames;
    bool endsWithTrailer = false;
    bool ok = true;
};

GifWalk WalkGif(const BYTE* data, size_t size) {
    GifWalk walk;
    auto fail = [&] {
        walk.ok = false;
        return walk;
    };
    auto u16 = [&](size_t at) { return data[at] | data[at + 1] << 8; };
    if (size < 13)
        return fail();
    size_t pos = 13 + (data[10] & 0x80 ? 3u << ((data[10] & 7) + 1) : 0u);
    // Past the sub-block chain that starts at at, or 0 when it runs off the end.
    auto chain = [&](size_t at) -> size_t {
        while (at < size && data[at])
            at += data[at] + 1u;
        return at < size ? at + 1 : 0;
    };
    GifWalk::Frame next;
    while (pos < size) {
        if (data[pos] == 0x3B) {
            walk.endsWithTrailer = pos + 1 == size;
            return walk;
        }
        if (data[pos] == 0x21 && pos + 1 < size && data[pos + 1] == 0xF9) {
            if (pos + 8 > size)
                return fail();
            next.hasControl = true;
            next.disposal = (data[pos + 3] >> 2) & 7;
            next.transparent = data[pos + 3] & 1;
            next.delay = u16(pos + 4);
            walk.blocks.push_back("control");
            pos += 8;
        } else if (data[pos] == 0x21 && pos + 1 < size && data[pos + 1] == 0xFF) {
            if (pos + 14 > size)
                return fail();
            walk.blocks.push_back("app:" + std::string(reinterpret_cast<const char*>(data + pos + 3), 11));
            pos = chain(pos + 14);
        } else if (data[pos] == 0x21 && pos + 1 < size) {
            walk.blocks.push_back(data[pos + 1] == 0xFE ? "comment" : "extension");
            pos = chain(pos + 2);
        } else if (data[pos] == 0x2C && pos + 11 <= size) {
            next.left = u16(pos + 1);
            next.top = u16(pos + 3);
            next.width = u16(pos + 5);
            next.height = u16(pos + 7);
            next.localTable = data[pos + 9] & 0x80;
            size_t table = next.localTable ? 3u << ((data[pos + 9] & 7) + 1) : 0u;
            walk.frames.push_back(next);
            next = GifWalk::Frame();
            walk.blocks.push_back("image");
            pos = chain(pos + 11 + table);
        } else {
            return fail();
        }
        if (pos == 0)
            return fail();
    }
    return fail();
}

TEST(Pictures, ScanningAnimationIsALoopingGifOfManyFrames) {
    HRSRC found = ::FindResourceA(Self(), MAKEINTRESOURCEA(IDR_SCANNING_GIF), "GIF");
    ASSERT_NE(nullptr, found);
    DWORD size = ::SizeofResource(Self(), found);
    auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(Self(), found)));
    ASSERT_NE(nullptr, data);
    ASSERT_GE(size, 13u);
    EXPECT_EQ(0, std::memcmp(data, "GIF89a", 6));
    // The page lays it out for a picture of about 548 x 65 pixels.
    EXPECT_EQ(548, data[6] | data[7] << 8);
    EXPECT_EQ(65, data[8] | data[9] << 8);
    EXPECT_TRUE(data[10] & 0x80) << "one colour table for every frame";

    GifWalk walk = WalkGif(data, size);
    ASSERT_TRUE(walk.ok);
    EXPECT_TRUE(walk.endsWithTrailer);
    // The looping extension comes before the first frame, and only once.
    ASSERT_FALSE(walk.blocks.empty());
    EXPECT_EQ("app:NETSCAPE2.0", walk.blocks[0]);
    EXPECT_EQ(1, std::count(walk.blocks.begin(), walk.blocks.end(), walk.blocks[0]));

    ASSERT_GE(walk.frames.size(), 60u);
    int shortFrames = 0, longFrames = 0;
    for (size_t i = 0; i < walk.frames.size(); ++i) {
        const GifWalk::Frame& f = walk.frames[i];
        SCOPED_TRACE("frame " + std::to_string(i));
        EXPECT_TRUE(f.hasControl);
        EXPECT_EQ(1, f.disposal);
        EXPECT_TRUE(f.delay == 10 || f.delay == 200) << f.delay;
        shortFrames += f.delay == 10;
        longFrames += f.delay == 200;
        EXPECT_FALSE(f.localTable);
        EXPECT_FALSE(f.transparent);
        EXPECT_GT(f.width, 0);
        EXPECT_GT(f.height, 0);
        EXPECT_LE(f.left + f.width, 548);
        EXPECT_LE(f.top + f.height, 65);
    }
    EXPECT_GT(shortFrames, 0);
    EXPECT_GT(longFrames, 0);
    // The first frame covers the whole picture: later ones only change it.
    EXPECT_EQ(0, walk.frames[0].left);
    EXPECT_EQ(0, walk.frames[0].top);
    EXPECT_EQ(548, walk.frames[0].width);
    EXPECT_EQ(65, walk.frames[0].height);
}

// --- The pages --------------------------------------------------------------

struct Control {
    int id;
    const char* cls;
    int x, y, cx, cy; // dialog units
    const char* text;
    DWORD styleOn = 0;  // style bits that must be set
    DWORD styleOff = 0; // and bits that must be clear
};

struct Page {
    int id;
    const char* title;
    const char* subtitle;
    std::vector<Control> controls; // in creation (tab) order
};

const std::vector<Page>& Pages() {
    static const std::vector<Page> pages = {
        {IDD_FIRST_PAGE,
         "Adding folder",
         "Add folder to scan and remove geotags",
         {
             {IDC_STATIC, "Static", 7, 7, 366, 18,
              "Your photos may contain geotags (latitude and longitude information) that may disclose your "
              "location when you upload them to the Internet."},
             {IDC_STATIC, "Static", 7, 24, 366, 18,
              "Select a folder and Norvane will scan it for geotags and remove any it finds. All other "
              "metatags in your photos will stay intact."},
             {IDC_STATIC, "Static", 7, 49, 366, 8,
              "Please choose a folder with photos to scan for and automatically remove geotags"},
             {IDC_FOLDER, "Edit", 7, 62, 311, 14, "", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL},
             {IDC_BROWSE, "Button", 323, 62, 50, 14, "Browse ...", WS_TABSTOP},
             {IDC_STATIC, "Static", 7, 89, 366, 34,
              "Clicking the Start button will remove geotags from your photos in the selected "
              "folder.\n\nONCE YOU REMOVE GEOTAGS THEY CANNOT BE RETURNED!"},
             {IDC_FULL_SCAN, "Button", 7, 130, 366, 10,
              "Check every photo again, also those known to be secure", WS_TABSTOP | BS_AUTOCHECKBOX},
         }},
        {IDD_PAGE02,
         "Scanning",
         "Wait for Norvane to scan the selected folder and remove geotags.",
         {
             {IDC_STATIC, "Static", 7, 7, 366, 24,
              "Norvane is scanning the selected folder for photos with geotags and removing geotags. This "
              "may take some time depending on number of files."},
             {IDC_ANIMATION, "Static", 7, 36, 366, 54, "Static"},
             // Wine's progress bar drops WS_BORDER from its style; it is never shown.
             {IDC_PROGRESS, "msctls_progress32", 7, 65, 366, 14, "", 0, WS_VISIBLE},
             {IDC_COUNTERS, "Static", 7, 97, 28, 76, "Static"},
             {IDC_STATIC, "Static", 35, 97, 300, 76,
              "files scanned\njpeg files found\nfiles with secure geotags found\nfiles with non-secure "
              "geotags found and secured\nfiles that could not be secured (see the log)\nfiles that still "
              "hold a location Norvane cannot clear"},
         }},
        {IDD_PAGE_LOG,
         "Logging",
         "Review log of files processed and geotags secured.",
         {
             {IDC_STATIC, "Static", 7, 7, 366, 18,
              "Norvane keeps a log of all files it has secured both in scanner and monitor mode. The most "
              "recent processed files are at the end of this log."},
             {IDC_LOG_FRAME, "Static", 7, 28, 366, 145, "", SS_BLACKFRAME, WS_VISIBLE},
         }},
        {IDD_PAGE03,
         "Protecting folder",
         "Set up on-going protection for the selected folder",
         {
             {IDC_STATIC, "Static", 7, 7, 366, 16,
              "Norvane can monitor folders for new photos, scan them and remove geotags automatically. To "
              "add a folder to the list of protected folders, you need to scan it first."},
             {IDC_FOLDER_FOR_SCAN, "Static", 7, 53, 366, 8, "Static"},
             {IDC_PROTECT_FOLDER, "Button", 7, 64, 74, 14, "Protect this folder", WS_TABSTOP},
             {IDC_STATIC, "Static", 7, 81, 279, 8, "Protected folders"},
             // Border and scroll bar: Wine's list box keeps them out of its style
             // (see the sorting test for the scroll bar).
             {IDC_PROTECTED_LIST, "ListBox", 7, 95, 366, 58, "",
              WS_TABSTOP | LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT},
             {IDC_STOP_PROTECTING, "Button", 241, 159, 132, 14, "Stop protecting selected folder",
              WS_TABSTOP},
         }},
    };
    return pages;
}

INT_PTR CALLBACK PlainDialog(HWND, UINT msg, WPARAM, LPARAM) {
    return msg == WM_INITDIALOG;
}

std::string Text(HWND window) {
    char text[512] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// A control's rectangle in its dialog's client coordinates.
RECT ClientRect(HWND control) {
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class PagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX init = {sizeof init, ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&init);
        // The templates are child windows, as a property sheet makes them.
        m_host = ::CreateWindowExA(0, "Static", "host", WS_POPUP, 0, 0, 900, 500, nullptr, nullptr, Self(),
                                   nullptr);
        ASSERT_NE(nullptr, m_host) << "no display? set DISPLAY to a running X server";
    }
    void TearDown() override {
        if (m_host)
            ::DestroyWindow(m_host);
    }
    HWND m_host = nullptr;
};

TEST_F(PagesTest, TemplatesHoldTheirControls) {
    for (const Page& page : Pages()) {
        SCOPED_TRACE("dialog " + std::to_string(page.id));
        HWND dialog = ::CreateDialogParamA(Self(), MAKEINTRESOURCEA(page.id), m_host, PlainDialog, 0);
        ASSERT_NE(nullptr, dialog) << ::GetLastError();

        RECT size = {0, 0, 380, 180};
        ::MapDialogRect(dialog, &size);
        RECT client;
        ::GetClientRect(dialog, &client);
        EXPECT_EQ(size.right, client.right);
        EXPECT_EQ(size.bottom, client.bottom);

        std::vector<HWND> children = Children(dialog);
        ASSERT_EQ(page.controls.size(), children.size());
        for (size_t i = 0; i < children.size(); ++i) {
            const Control& c = page.controls[i];
            HWND child = children[i];
            SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(c.id));
            EXPECT_EQ(c.id, static_cast<int>(static_cast<short>(::GetDlgCtrlID(child))));
            if (c.id != IDC_STATIC) {
                EXPECT_EQ(child, ::GetDlgItem(dialog, c.id));
            }
            char cls[64] = {};
            ::GetClassNameA(child, cls, sizeof cls);
            EXPECT_STRCASEEQ(c.cls, cls);
            EXPECT_EQ(c.text, Text(child));
            DWORD style = static_cast<DWORD>(::GetWindowLongA(child, GWL_STYLE));
            // Wine's edit control moves its border out of the style and draws
            // an edge instead.
            DWORD edges = static_cast<DWORD>(::GetWindowLongA(child, GWL_EXSTYLE));
            DWORD border = edges & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE) ? WS_BORDER : 0;
            EXPECT_EQ(c.styleOn, (style | border) & c.styleOn);
            EXPECT_EQ(0u, style & c.styleOff);
            if (c.styleOff != WS_VISIBLE) {
                EXPECT_TRUE(style & WS_VISIBLE);
            }

            // The dialog converts position and size each on its own.
            RECT expected = {c.x, c.y, c.cx, c.cy};
            ::MapDialogRect(dialog, &expected);
            RECT actual = ClientRect(child);
            EXPECT_EQ(expected.left, actual.left);
            EXPECT_EQ(expected.top, actual.top);
            EXPECT_EQ(expected.right, actual.right - actual.left);
            EXPECT_EQ(expected.bottom, actual.bottom - actual.top);
        }
        ::DestroyWindow(dialog);
    }
}

TEST_F(PagesTest, ProtectedFolderListSortsWithoutRegardToCase) {
    HWND dialog = ::CreateDialogParamA(Self(), MAKEINTRESOURCEA(IDD_PAGE03), m_host, PlainDialog, 0);
    ASSERT_NE(nullptr, dialog);
    HWND list = ::GetDlgItem(dialog, IDC_PROTECTED_LIST);
    ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("D:\\b"));
    LRESULT at = ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("c:\\a"));
    EXPECT_EQ(0, at);
    char first[16] = {};
    ::SendMessageA(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(first));
    EXPECT_STREQ("c:\\a", first);

    // More folders than the box shows bring up its scroll bar.
    EXPECT_FALSE(::GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL);
    for (int i = 0; i < 20; ++i)
        ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(("E:\\" + std::to_string(i)).c_str()));
    EXPECT_TRUE(::GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL);
    ::DestroyWindow(dialog);
}

// --- The pages in the wizard sheet, on screen --------------------------------

void Pump() {
    MSG msg;
    for (int round = 0; round < 20; ++round) {
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(10);
    }
}

TEST_F(PagesTest, PagesFitInTheWizardSheet) {
    std::vector<PROPSHEETPAGEA> pages;
    for (const Page& page : Pages()) {
        PROPSHEETPAGEA psp = {};
        psp.dwSize = sizeof psp;
        psp.dwFlags = PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE;
        psp.hInstance = Self();
        psp.pszTemplate = MAKEINTRESOURCEA(page.id);
        psp.pfnDlgProc = PlainDialog;
        psp.pszHeaderTitle = page.title;
        psp.pszHeaderSubTitle = page.subtitle;
        pages.push_back(psp);
    }
    PROPSHEETHEADERA psh = {};
    psh.dwSize = sizeof psh;
    psh.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS | PSH_WIZARD97 | PSH_HEADER | PSH_NOAPPLYNOW |
                  PSH_NOCONTEXTHELP | PSH_WIZARD | PSH_USEICONID | PSH_USEHBMHEADER;
    psh.hInstance = Self();
    psh.pszIcon = MAKEINTRESOURCEA(IDR_MAINFRAME);
    psh.pszCaption = "Norvane";
    psh.nPages = static_cast<UINT>(pages.size());
    psh.ppsp = pages.data();
    // Wine 8 shows no header picture given by resource id (pszbmHeader) to
    // PropertySheetA; a loaded bitmap shows on both systems.
    HBITMAP header = ::LoadBitmapA(Self(), MAKEINTRESOURCEA(IDB_HEADER));
    ASSERT_NE(nullptr, header);
    psh.hbmHeader = header;
    HWND sheet = reinterpret_cast<HWND>(::PropertySheetA(&psh));
    ASSERT_NE(nullptr, sheet);
    ::SetWindowPos(sheet, HWND_TOP, 10, 10, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);

    for (size_t index = 0; index < Pages().size(); ++index) {
        const Page& page = Pages()[index];
        SCOPED_TRACE("dialog " + std::to_string(page.id));
        ::SendMessageA(sheet, PSM_SETCURSEL, index, 0);
        Pump();
        HWND hwndPage = reinterpret_cast<HWND>(::SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        ASSERT_NE(nullptr, hwndPage);

        RECT pageRect;
        ::GetClientRect(hwndPage, &pageRect);
        HFONT font = reinterpret_cast<HFONT>(::SendMessageA(hwndPage, WM_GETFONT, 0, 0));
        std::vector<HWND> shown;
        for (HWND child : Children(hwndPage))
            if (::IsWindowVisible(child))
                shown.push_back(child);
        // Where each shown control puts ink: a static's text may need less
        // height than its control has.
        std::vector<RECT> ink;
        for (HWND child : shown) {
            RECT r = ClientRect(child);
            SCOPED_TRACE("control " + Text(child));
            // Inside the page.
            EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= pageRect.right &&
                        r.bottom <= pageRect.bottom);
            char cls[64] = {};
            ::GetClassNameA(child, cls, sizeof cls);
            std::string text = Text(child);
            if (_stricmp(cls, "Static") == 0 && !text.empty()) {
                // The text fits its static in the font the page has.
                HDC dc = ::GetDC(hwndPage);
                HGDIOBJ old = ::SelectObject(dc, font);
                RECT need = {0, 0, r.right - r.left, 0};
                ::DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
                ::SelectObject(dc, old);
                ::ReleaseDC(hwndPage, dc);
                EXPECT_LE(need.right, r.right - r.left);
                EXPECT_LE(need.bottom, r.bottom - r.top);
                r.bottom = r.top + need.bottom;
            }
            ink.push_back(r);
        }
        for (size_t i = 0; i < ink.size(); ++i) {
            for (size_t j = i + 1; j < ink.size(); ++j) {
                RECT common;
                EXPECT_FALSE(::IntersectRect(&common, &ink[i], &ink[j]))
                    << "\"" << Text(shown[i]) << "\" overlaps \"" << Text(shown[j]) << "\"";
            }
        }
        EXPECT_NE(testing_support::SaveWindowScreenshot(sheet, "layout-" + std::to_string(page.id)), "");
    }
    ::DestroyWindow(sheet);
    ::DeleteObject(header);
}

} // namespace
