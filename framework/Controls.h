#pragma once
// Thin wrappers of the standard controls the pages use. Each is a CWnd
// pointed at an existing control of a dialog (BindDlgItem); none subclasses
// its control, so the control's window procedure stays the system's.

#include "framework/CString.h"
#include "framework/CWnd.h"

#include <windows.h>
// after windows.h, which they need
#include <commctrl.h>
#include <richedit.h>

class CStatic : public CWnd {};

class CButton : public CWnd {
public:
    int GetCheck() const { return int(SendMessage(BM_GETCHECK)); }
    void SetCheck(int nCheck) { SendMessage(BM_SETCHECK, WPARAM(nCheck)); }
    // As if the user clicked it: the parent gets BN_CLICKED.
    void Click() { SendMessage(BM_CLICK); }
};

class CEdit : public CWnd {
public:
    void SetLimitText(UINT nMax) { SendMessage(EM_SETLIMITTEXT, WPARAM(nMax)); }
    void SetSel(int nStart, int nEnd) { SendMessage(EM_SETSEL, WPARAM(nStart), LPARAM(nEnd)); }
    void ReplaceSel(const char* text, BOOL bCanUndo = FALSE) {
        SendMessage(EM_REPLACESEL, WPARAM(bCanUndo), reinterpret_cast<LPARAM>(text ? text : ""));
    }
    void SetReadOnly(BOOL bReadOnly = TRUE) { SendMessage(EM_SETREADONLY, WPARAM(bReadOnly)); }
};

class CListBox : public CWnd {
public:
    // Index of the new item, or LB_ERR / LB_ERRSPACE.
    int AddString(const char* text) {
        return int(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    int InsertString(int nIndex, const char* text) {
        return int(SendMessage(LB_INSERTSTRING, WPARAM(nIndex), reinterpret_cast<LPARAM>(text)));
    }
    int DeleteString(int nIndex) { return int(SendMessage(LB_DELETESTRING, WPARAM(nIndex))); }
    void ResetContent() { SendMessage(LB_RESETCONTENT); }
    int GetCount() const { return int(SendMessage(LB_GETCOUNT)); }
    int GetCurSel() const { return int(SendMessage(LB_GETCURSEL)); }
    int SetCurSel(int nIndex) { return int(SendMessage(LB_SETCURSEL, WPARAM(nIndex))); }
    int SetTopIndex(int nIndex) { return int(SendMessage(LB_SETTOPINDEX, WPARAM(nIndex))); }
    int SetItemData(int nIndex, LPARAM data) {
        return int(SendMessage(LB_SETITEMDATA, WPARAM(nIndex), data));
    }
    // LB_ERR for an index that is not there.
    LRESULT GetItemData(int nIndex) const { return SendMessage(LB_GETITEMDATA, WPARAM(nIndex)); }
    // The item's text; empty for an index that is not there.
    CString GetText(int nIndex) const;
};

class CProgressCtrl : public CWnd {
public:
    void SetRange(short nLower, short nUpper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper)); }
    void SetRange32(int nLower, int nUpper) { SendMessage(PBM_SETRANGE32, WPARAM(nLower), LPARAM(nUpper)); }
    int SetPos(int nPos) { return int(SendMessage(PBM_SETPOS, WPARAM(nPos))); }
    int GetPos() const { return int(SendMessage(PBM_GETPOS)); }
};

// A rich edit control of class RICHEDIT50W (msftedit.dll) or, where that is
// missing, RichEdit20W (riched20.dll). Load the library before a dialog that
// holds one is made.
class CRichEditCtrl : public CWnd {
public:
    // Loads the rich edit library once; the class name to use in templates,
    // or null when neither library is there.
    static const char* LoadLibrary();

    // The most characters the control takes. Windows keeps a rich edit at
    // 32,767 characters until this is raised (typing and inserts alike), so
    // a growing log must set it.
    void LimitText(long nChars) { SendMessage(EM_EXLIMITTEXT, 0, LPARAM(nChars)); }
    long GetLimitText() const { return long(SendMessage(EM_GETLIMITTEXT)); }
    // Appends text (in the process code page) at the end, without undo.
    void AppendText(const char* text);
    // Characters in the control, line breaks counted once.
    long GetTextLength() const;
    void SetReadOnly(BOOL bReadOnly = TRUE) { SendMessage(EM_SETREADONLY, WPARAM(bReadOnly)); }
    // Scrolls so that the last line shows.
    void ScrollToEnd() { SendMessage(WM_VSCROLL, SB_BOTTOM); }
};
