#include "framework/Controls.h"

#include "framework/CodePage.h"

#include <string>

CString CListBox::GetText(int nIndex) const {
    CString text;
    int length = int(SendMessage(LB_GETTEXTLEN, WPARAM(nIndex)));
    if (length <= 0)
        return text;
    int got =
        int(SendMessage(LB_GETTEXT, WPARAM(nIndex), reinterpret_cast<LPARAM>(text.GetBuffer(length + 1))));
    text.ReleaseBuffer(got > 0 ? got : 0);
    return text;
}

const char* CRichEditCtrl::LoadLibrary() {
    static const char* className = []() -> const char* {
        if (::LoadLibraryA("msftedit.dll"))
            return "RICHEDIT50W";
        if (::LoadLibraryA("riched20.dll"))
            return "RichEdit20W";
        return nullptr;
    }();
    return className;
}

void CRichEditCtrl::AppendText(const char* text) {
    if (!text || !*text)
        return;
    // The control is a Unicode window: the text goes in as UTF-16 so that no
    // layer guesses its code page.
    std::wstring wide = Widen(text);
    if (wide.empty())
        return;
    CHARRANGE end = {-1, -1};
    ::SendMessageW(m_hWnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    ::SendMessageW(m_hWnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
}

long CRichEditCtrl::GetTextLength() const {
    GETTEXTLENGTHEX gtl = {GTL_NUMCHARS | GTL_PRECISE, 1200};
    return long(::SendMessageW(m_hWnd, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&gtl), 0));
}
