#include "core/CSeException.h"

CSeException::CSeException(UINT nSeCode, const EXCEPTION_POINTERS* pExPointers)
    : m_nSeCode(nSeCode), m_pExPointers(&m_pointers), m_record{}, m_context{}, m_pointers{} {
    if (pExPointers && pExPointers->ExceptionRecord) {
        m_record = *pExPointers->ExceptionRecord;
        m_record.ExceptionRecord = nullptr; // the chained record is not kept
    }
    if (pExPointers && pExPointers->ContextRecord)
        m_context = *pExPointers->ContextRecord;
    m_pointers.ExceptionRecord = &m_record;
    m_pointers.ContextRecord = &m_context;
}
