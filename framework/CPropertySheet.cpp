#include "framework/CPropertySheet.h"

#include <cstring>

namespace {

// The sheet whose frame comctl32 is making on this thread: the sheet
// callback has no parameter of its own to find its object by.
thread_local CPropertySheet* t_pSheetInCreation = nullptr;

} // namespace

// ---------------------------------------------------------------- the page

CPropertyPage::CPropertyPage(UINT nIDTemplate, const char* headerTitle, const char* headerSubTitle) {
    Init(headerTitle, headerSubTitle);
    m_psp.pszTemplate = MAKEINTRESOURCEA(nIDTemplate);
}

CPropertyPage::CPropertyPage(const DLGTEMPLATE* pTemplate, const char* headerTitle,
                             const char* headerSubTitle) {
    Init(headerTitle, headerSubTitle);
    m_psp.dwFlags |= PSP_DLGINDIRECT;
    m_psp.pResource = pTemplate;
}

void CPropertyPage::Init(const char* headerTitle, const char* headerSubTitle) {
    std::memset(&m_psp, 0, sizeof(m_psp));
    m_psp.dwSize = sizeof(m_psp);
    m_psp.hInstance = ::GetModuleHandleA(nullptr);
    m_psp.pfnDlgProc = &CPropertyPage::DialogProc;
    m_psp.lParam = reinterpret_cast<LPARAM>(this);
    if (headerTitle) {
        m_strHeaderTitle = headerTitle;
        m_psp.dwFlags |= PSP_USEHEADERTITLE;
        m_psp.pszHeaderTitle = m_strHeaderTitle;
    }
    if (headerSubTitle) {
        m_strHeaderSubTitle = headerSubTitle;
        m_psp.dwFlags |= PSP_USEHEADERSUBTITLE;
        m_psp.pszHeaderSubTitle = m_strHeaderSubTitle;
    }
}

CPropertyPage::~CPropertyPage() {
    // A page object may go before its window (the sheet window outlives it):
    // the window must not call into freed memory afterwards.
    UnsubclassWindow();
}

BOOL CPropertyPage::OnInitDialog() {
    return TRUE;
}
BOOL CPropertyPage::OnSetActive() {
    return TRUE;
}
BOOL CPropertyPage::OnKillActive() {
    return TRUE;
}
LRESULT CPropertyPage::OnWizardNext() {
    return 0;
}
LRESULT CPropertyPage::OnWizardBack() {
    return 0;
}
BOOL CPropertyPage::OnWizardFinish() {
    return TRUE;
}
BOOL CPropertyPage::OnQueryCancel() {
    return TRUE;
}
void CPropertyPage::OnCancel() {}
BOOL CPropertyPage::OnCommand(WPARAM, LPARAM) {
    return FALSE;
}

INT_PTR CALLBACK CPropertyPage::DialogProc(HWND hWnd, UINT message, WPARAM, LPARAM lParam) {
    // Only binds: once bound, the page's messages reach the object through
    // the subclass, ahead of this procedure, which then has nothing to add.
    if (message != WM_INITDIALOG)
        return FALSE;
    // lParam is comctl32's copy of m_psp; its lParam is still the object.
    auto* page = reinterpret_cast<CPropertyPage*>(reinterpret_cast<PROPSHEETPAGEA*>(lParam)->lParam);
    if (!page || !page->SubclassWindow(hWnd))
        return FALSE;
    // comctl32 reports the frame ready (PSCB_INITIALIZED) before it makes
    // the start page, but a page made early (PSP_PREMATURE) comes first:
    // whichever is first binds the sheet, before any page handler can ask it
    // for anything.
    if (page->m_pSheet)
        page->m_pSheet->Bind(::GetParent(hWnd));
    return page->OnInitDialog();
}

LRESULT CPropertyPage::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, &result))
        return result;
    switch (message) {
    case WM_NOTIFY:
        if (OnNotify(reinterpret_cast<const NMHDR*>(lParam), &result))
            return result;
        break;
    case WM_COMMAND:
        if (OnCommand(wParam, lParam))
            return 0;
        break;
    default:
        break;
    }
    return Default(message, wParam, lParam);
}

BOOL CPropertyPage::OnNotify(const NMHDR* pHdr, LRESULT* pResult) {
    HWND hSheet = ::GetParent(m_hWnd);
    if (!pHdr || pHdr->hwndFrom != hSheet)
        return FALSE;
    LRESULT result = 0;
    switch (pHdr->code) {
    case PSN_SETACTIVE:
        result = OnSetActive() ? 0 : -1;
        break;
    case PSN_KILLACTIVE:
        result = OnKillActive() ? FALSE : TRUE;
        break;
    case PSN_WIZNEXT:
        result = OnWizardNext();
        break;
    case PSN_WIZBACK:
        result = OnWizardBack();
        break;
    case PSN_WIZFINISH:
        result = OnWizardFinish() ? FALSE : TRUE;
        // A modeless sheet that finished only learns so from the loop's
        // check after the next message; when Finish was pressed by a message
        // sent from elsewhere, that next message may never come on its own.
        if (!result)
            ::PostMessageA(hSheet, WM_NULL, 0, 0);
        break;
    case PSN_QUERYCANCEL:
        result = OnQueryCancel() ? FALSE : TRUE;
        break;
    case PSN_RESET:
        OnCancel();
        ::PostMessageA(hSheet, WM_NULL, 0, 0); // as for Finish
        break;
    case PSN_APPLY:
        result = PSNRET_NOERROR;
        break;
    default:
        return FALSE;
    }
    // The page's window procedure answers for the dialog: the result goes
    // back directly, not through DWLP_MSGRESULT.
    *pResult = result;
    return TRUE;
}

// --------------------------------------------------------------- the sheet

CPropertySheet::CPropertySheet(const char* caption, HWND hParent, UINT iSelectPage) : m_strCaption(caption) {
    std::memset(&m_psh, 0, sizeof(m_psh));
    m_psh.dwSize = sizeof(m_psh);
    m_psh.hwndParent = hParent;
    m_psh.hInstance = ::GetModuleHandleA(nullptr);
    m_psh.nStartPage = iSelectPage;
}

CPropertySheet::~CPropertySheet() {
    // The window must not outlive the object its subclass points to.
    if (m_hWnd)
        ::DestroyWindow(m_hWnd);
}

void CPropertySheet::AddPage(CPropertyPage* pPage) {
    pPage->m_pSheet = this;
    m_pages.push_back(pPage);
}

CPropertyPage* CPropertySheet::GetPage(int nPage) const {
    return nPage >= 0 && nPage < GetPageCount() ? m_pages[size_t(nPage)] : nullptr;
}

BOOL CPropertySheet::Create(HWND hParent, DWORD dwStyle, DWORD dwExStyle) {
    if (m_hWnd || m_pages.empty())
        return FALSE;
    // comctl32 copies the page records it is given.
    std::vector<PROPSHEETPAGEA> records;
    for (CPropertyPage* page : m_pages)
        records.push_back(page->m_psp);

    m_psh.dwFlags |= PSH_MODELESS | PSH_USECALLBACK | PSH_PROPSHEETPAGE;
    if (hParent)
        m_psh.hwndParent = hParent;
    m_psh.pszCaption = m_strCaption;
    m_psh.nPages = UINT(records.size());
    m_psh.ppsp = records.data();
    m_psh.pfnCallback = &CPropertySheet::SheetCallback;
    m_dwCreateStyle = dwStyle;
    m_dwCreateExStyle = dwExStyle;

    CPropertySheet* outer = t_pSheetInCreation;
    t_pSheetInCreation = this;
    INT_PTR result = ::PropertySheetA(&m_psh);
    t_pSheetInCreation = outer;
    m_psh.ppsp = nullptr;

    if (result == 0 || result == -1) {
        if (m_hWnd)
            ::DestroyWindow(m_hWnd);
        return FALSE;
    }
    Bind(reinterpret_cast<HWND>(result));
    // In a wizard-97 sheet the caption does not become the window title;
    // other programs find the window by its title, so it is set here.
    ApplyTitle();
    return TRUE;
}

void CPropertySheet::Bind(HWND hWnd) {
    if (SubclassWindow(hWnd))
        OnInitSheet();
}

int CALLBACK CPropertySheet::SheetCallback(HWND hWnd, UINT message, LPARAM lParam) {
    CPropertySheet* sheet = t_pSheetInCreation;
    if (!sheet)
        return 0;
    if (message == PSCB_PRECREATE && lParam) {
        // comctl32 hands over a writable copy of the frame's template, in
        // either of the two template layouts.
        auto* words = reinterpret_cast<WORD*>(lParam);
        bool extended = words[0] == 1 && words[1] == 0xFFFF;
        auto* style = reinterpret_cast<DWORD*>(reinterpret_cast<BYTE*>(lParam) + (extended ? 12 : 0));
        auto* exStyle = reinterpret_cast<DWORD*>(reinterpret_cast<BYTE*>(lParam) + (extended ? 8 : 4));
        if (sheet->m_dwCreateStyle != DWORD(-1))
            *style = sheet->m_dwCreateStyle;
        *exStyle |= sheet->m_dwCreateExStyle;
    } else if (message == PSCB_INITIALIZED) {
        sheet->Bind(hWnd);
    }
    return 0;
}

LRESULT CPropertySheet::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT && !m_bSettingTitle) {
        // A wizard sheet takes the caption of each page it turns to as its
        // window title (Wine does so in wizard-97 sheets as well); the title
        // stays the sheet's own, which other programs find the window by.
        ApplyTitle();
        return TRUE;
    }
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, &result))
        return result;
    if (message == WM_COMMAND && OnCommand(wParam, lParam))
        return 0;
    return Default(message, wParam, lParam);
}

void CPropertySheet::SetTitle(const char* title) {
    m_strCaption = title;
    if (m_hWnd)
        ApplyTitle();
}

void CPropertySheet::ApplyTitle() {
    m_bSettingTitle = true;
    ::SetWindowTextA(m_hWnd, m_strCaption);
    m_bSettingTitle = false;
}

void CPropertySheet::SetWizardButtons(DWORD dwFlags) {
    SendMessage(PSM_SETWIZBUTTONS, 0, LPARAM(dwFlags));
}

BOOL CPropertySheet::SetActivePage(int nPage) {
    if (!m_hWnd) {
        if (nPage < 0 || nPage >= GetPageCount())
            return FALSE;
        m_psh.nStartPage = UINT(nPage);
        return TRUE;
    }
    return BOOL(SendMessage(PSM_SETCURSEL, WPARAM(nPage), 0));
}

BOOL CPropertySheet::SetActivePage(CPropertyPage* pPage) {
    for (int i = 0; i < GetPageCount(); ++i)
        if (m_pages[size_t(i)] == pPage)
            return SetActivePage(i);
    return FALSE;
}

int CPropertySheet::GetActiveIndex() const {
    if (!m_hWnd)
        return int(m_psh.nStartPage);
    HWND hPage = reinterpret_cast<HWND>(SendMessage(PSM_GETCURRENTPAGEHWND));
    for (int i = 0; hPage && i < GetPageCount(); ++i)
        if (m_pages[size_t(i)]->m_hWnd == hPage)
            return i;
    return -1;
}

CPropertyPage* CPropertySheet::GetActivePage() const {
    return GetPage(GetActiveIndex());
}

BOOL CPropertySheet::OnCommand(WPARAM, LPARAM) {
    return FALSE;
}
void CPropertySheet::OnInitSheet() {}
