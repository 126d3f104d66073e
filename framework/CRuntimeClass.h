#pragma once
// The framework's record of a class: its name, size and schema number, and
// the record of its base class (null for a root class).

struct CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    unsigned int m_wSchema;
    const CRuntimeClass* m_pBaseClass;
};
