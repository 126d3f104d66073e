#pragma once
// Property sheet and property page over the common controls' property sheet.
//
// How the objects find their windows (both through the framework's one
// subclass procedure, see CWnd.h; a dialog's DWLP_USER is comctl32's):
// - A page is a dialog of comctl32's making. Its record (m_psp) carries the
//   page object in lParam; WM_INITDIALOG brings comctl32's copy of that
//   record, whose lParam is still the object, and the page's dialog
//   procedure subclasses the dialog for it there. From then on the page's
//   messages reach the object before the dialog procedure sees them.
// - The sheet object subclasses the frame as soon as the frame exists
//   (PSCB_INITIALIZED), so the frame's own messages (WM_COMMAND from other
//   threads or processes, WM_COPYDATA, WM_TIMER, private messages) reach it.
// Both unbind at WM_NCDESTROY. Page notifications (PSN_*) are turned into the
// virtual handlers named after them; everything else reaches OnWndMsg first,
// then OnCommand.

#include "framework/CString.h"
#include "framework/CWnd.h"

#include <windows.h>
// after windows.h, which they need
#include <commctrl.h>
#include <prsht.h>

#include <vector>

class CPropertySheet;

class CPropertyPage : public CWnd {
public:
    // A page from a dialog template of the program's resources.
    explicit CPropertyPage(UINT nIDTemplate, const char* headerTitle = nullptr,
                           const char* headerSubTitle = nullptr);
    // A page from a dialog template in memory, which must outlive the page's
    // window.
    explicit CPropertyPage(const DLGTEMPLATE* pTemplate, const char* headerTitle = nullptr,
                           const char* headerSubTitle = nullptr);
    ~CPropertyPage() override;

    // The sheet this page was added to.
    CPropertySheet* GetSheet() const { return m_pSheet; }

    // Handlers, named after the notifications. Defaults: accept.
    virtual BOOL OnInitDialog();
    // TRUE lets the page become active.
    virtual BOOL OnSetActive();
    // TRUE lets the page be left.
    virtual BOOL OnKillActive();
    // 0: go to the next (previous) page; -1: stay; else a template id to go to.
    virtual LRESULT OnWizardNext();
    virtual LRESULT OnWizardBack();
    // TRUE lets the wizard finish.
    virtual BOOL OnWizardFinish();
    // TRUE lets the sheet be cancelled.
    virtual BOOL OnQueryCancel();
    // The sheet was cancelled (PSN_RESET).
    virtual void OnCancel();
    // TRUE when the command was handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);

    PROPSHEETPAGEA m_psp;

protected:
    // OnWndMsg first, then the notifications and commands.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    friend class CPropertySheet;
    void Init(const char* headerTitle, const char* headerSubTitle);
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    // TRUE with *pResult when the notification was the sheet's.
    BOOL OnNotify(const NMHDR* pHdr, LRESULT* pResult);

    CPropertySheet* m_pSheet = nullptr;
    CString m_strHeaderTitle;
    CString m_strHeaderSubTitle;
};

class CPropertySheet : public CWnd {
public:
    explicit CPropertySheet(const char* caption, HWND hParent = nullptr, UINT iSelectPage = 0);
    ~CPropertySheet() override;

    // Pages are shown in the order they are added; the sheet does not own them.
    void AddPage(CPropertyPage* pPage);
    int GetPageCount() const { return int(m_pages.size()); }
    CPropertyPage* GetPage(int nPage) const;

    // Creates the sheet modeless. dwStyle (DWORD)-1 keeps comctl32's style;
    // the sheet's window title is set to the caption (in a wizard-97 sheet the
    // caption given to comctl32 is not the window title). FALSE on failure.
    BOOL Create(HWND hParent = nullptr, DWORD dwStyle = DWORD(-1), DWORD dwExStyle = 0);

    // The window title, kept on every page: comctl32's own changes of the
    // title (to a page's caption) are replaced by it.
    void SetTitle(const char* title);
    const CString& GetTitle() const { return m_strCaption; }

    // PSWIZB_* flags. Sent, not posted, so the buttons have their state when
    // this returns.
    void SetWizardButtons(DWORD dwFlags);
    BOOL SetActivePage(int nPage);
    BOOL SetActivePage(CPropertyPage* pPage);
    int GetActiveIndex() const;
    CPropertyPage* GetActivePage() const;
    void PressButton(int nButton) { SendMessage(PSM_PRESSBUTTON, WPARAM(nButton)); }

    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // The frame exists and is bound, its pages not yet all made.
    virtual void OnInitSheet();

    PROPSHEETHEADERA m_psh;

protected:
    // The title kept, then OnWndMsg (messages of the frame; unhandled ones
    // get comctl32's handling), then OnCommand.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    friend class CPropertyPage;
    void Bind(HWND hWnd);
    void ApplyTitle();
    static int CALLBACK SheetCallback(HWND hWnd, UINT message, LPARAM lParam);

    CString m_strCaption;
    std::vector<CPropertyPage*> m_pages;
    DWORD m_dwCreateStyle = DWORD(-1);
    DWORD m_dwCreateExStyle = 0;
    bool m_bSettingTitle = false;
};
