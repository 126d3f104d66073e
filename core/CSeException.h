#pragma once
// A structured exception (access violation, division by zero and the like)
// turned into a framework exception on a job's worker thread.

#include "framework/CException.h"

#include <windows.h>

class CSeException : public CException {
public:
    // Copies the records: the ones the system hands to the exception handler
    // lie on the stack that the throw reuses.
    CSeException(UINT nSeCode, const EXCEPTION_POINTERS* pExPointers);

    UINT GetSeCode() const { return m_nSeCode; }
    EXCEPTION_POINTERS* GetSePointers() { return m_pExPointers; }
    // The address of the faulting instruction.
    void* GetExceptionAddress() const { return m_record.ExceptionAddress; }

    UINT m_nSeCode;
    EXCEPTION_POINTERS* m_pExPointers;

private:
    EXCEPTION_RECORD m_record;
    CONTEXT m_context;
    EXCEPTION_POINTERS m_pointers;
};
