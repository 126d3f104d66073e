#pragma once
// Builds a dialog template in memory (the DLGTEMPLATE layout), so that the
// window tests need no resource script.

#include <windows.h>

#include <string>
#include <vector>

class DialogTemplate {
public:
    DialogTemplate(DWORD style, short cx, short cy, const wchar_t* title) {
        PutDword(style | DS_SETFONT);
        PutDword(0);          // extended style
        m_words.push_back(0); // item count, set by Add
        Put(0);
        Put(0);
        Put(cx);
        Put(cy);
        Put(0); // no menu
        Put(0); // the dialog class
        PutText(title);
        Put(8);
        PutText(L"MS Shell Dlg");
    }

    // A control of a predefined class (0x80 button, 0x81 edit, 0x82 static,
    // 0x83 list box) or, with atom 0, of the class named className.
    DialogTemplate& Add(WORD atom, const wchar_t* className, DWORD style, short x, short y, short cx,
                        short cy, WORD id, const wchar_t* text = L"") {
        if (m_words.size() % 2)
            m_words.push_back(0); // items start on a DWORD
        PutDword(style | WS_CHILD | WS_VISIBLE);
        PutDword(0);
        Put(x);
        Put(y);
        Put(cx);
        Put(cy);
        Put(id);
        if (atom) {
            Put(0xFFFF);
            Put(atom);
        } else {
            PutText(className);
        }
        PutText(text);
        Put(0); // no creation data
        ++m_words[4];
        return *this;
    }

    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

private:
    void Put(WORD w) { m_words.push_back(w); }
    void Put(short s) { m_words.push_back(WORD(s)); }
    void Put(int i) { m_words.push_back(WORD(i)); }
    void PutDword(DWORD d) {
        Put(LOWORD(d));
        Put(HIWORD(d));
    }
    void PutText(const wchar_t* text) {
        for (; *text; ++text)
            m_words.push_back(WORD(*text));
        m_words.push_back(0);
    }

    std::vector<WORD> m_words;
};
