// How a hardware exception becomes a C++ throw with g++.
//
// g++ does not call the translators of MSVC's _set_se_translator, and its
// unwinder treats structured exceptions as foreign: a catch never sees them.
// So a vectored exception handler, which the system calls first for every
// exception of the process, looks at the faulting thread. If that thread has
// installed the translator and the exception is a hardware one, the handler
// copies the records into the thread's state and changes the thread's
// context so that it resumes in ThrowStub as if the faulting instruction had
// called it. ThrowStub realigns the stack and calls ThrowTranslated, which
// throws the CSeException* from there. The unwinder then walks ThrowStub's
// frame back to the faulting frame and runs its cleanups as for any throw.
//
// The return address pushed for the fake call is the faulting address plus
// one: the unwinder looks up the instruction before a return address, which
// is then the faulting instruction itself.
//
// C++ throws, debugger notices and the like pass through the handler
// untouched; so does everything on threads without the translator.

#include "core/SeTranslator.h"

#include "core/CSeException.h"

#include <windows.h>

#include <mutex>

namespace {

struct ThreadSeState {
    EXCEPTION_RECORD record;
    CONTEXT context;
    bool bInFlight; // a translated exception is on its way to the throw
};

DWORD g_tlsSlot = TLS_OUT_OF_INDEXES;
std::once_flag g_installOnce;

bool IsHardwareException(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_PRIV_INSTRUCTION:
        return true;
    default:
        // A stack overflow leaves no room to run the throw on; it stays fatal.
        return false;
    }
}

ThreadSeState* CurrentState() {
    // TlsGetValue clears the last error; the faulting code may still need it.
    DWORD lastError = ::GetLastError();
    auto* state = static_cast<ThreadSeState*>(::TlsGetValue(g_tlsSlot));
    ::SetLastError(lastError);
    return state;
}

LONG CALLBACK RedirectToThrow(EXCEPTION_POINTERS* pointers);

} // namespace

extern "C" void NorvaneSeThrowStub();

// Called by the stub only, on the faulting thread.
extern "C" [[noreturn]] void NorvaneSeThrowTranslated() {
    ThreadSeState* state = CurrentState();
    EXCEPTION_POINTERS pointers{&state->record, &state->context};
    auto* exception = new CSeException(state->record.ExceptionCode, &pointers);
    state->bInFlight = false;
    throw exception;
}

// Entered with rsp as the faulting code left it, minus the fake return
// address. A leaf function may fault with rsp not 16-byte aligned, so the
// stub keeps the entry rsp in rbp (which its unwind data names as the frame
// register) and aligns before the call.
asm(R"(
    .text
    .globl NorvaneSeThrowStub
    .def NorvaneSeThrowStub; .scl 2; .type 32; .endef
    .seh_proc NorvaneSeThrowStub
NorvaneSeThrowStub:
    pushq %rbp
    .seh_pushreg %rbp
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    andq $-16, %rsp
    subq $32, %rsp
    call NorvaneSeThrowTranslated
    int3
    .seh_endproc
)");

namespace {

LONG CALLBACK RedirectToThrow(EXCEPTION_POINTERS* pointers) {
    EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (!IsHardwareException(record->ExceptionCode) || (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE))
        return EXCEPTION_CONTINUE_SEARCH;
    ThreadSeState* state = CurrentState();
    if (!state || state->bInFlight)
        return EXCEPTION_CONTINUE_SEARCH; // not a job thread, or a fault on the way to the throw
    state->bInFlight = true;
    state->record = *record;
    state->record.ExceptionRecord = nullptr;
    state->context = *pointers->ContextRecord;

    CONTEXT* context = pointers->ContextRecord;
    context->Rsp -= sizeof(DWORD64);
    *reinterpret_cast<DWORD64*>(context->Rsp) = context->Rip + 1;
    context->Rip = reinterpret_cast<DWORD64>(&NorvaneSeThrowStub);
    return EXCEPTION_CONTINUE_EXECUTION;
}

void InstallHandlerOnce() {
    std::call_once(g_installOnce, [] {
        g_tlsSlot = ::TlsAlloc();
        if (g_tlsSlot != TLS_OUT_OF_INDEXES)
            ::AddVectoredExceptionHandler(1, &RedirectToThrow);
    });
}

} // namespace

void InstallSeTranslator() {
    InstallHandlerOnce();
    if (g_tlsSlot == TLS_OUT_OF_INDEXES || CurrentState())
        return;
    ::TlsSetValue(g_tlsSlot, new ThreadSeState{});
}

void RemoveSeTranslator() {
    if (g_tlsSlot == TLS_OUT_OF_INDEXES)
        return;
    delete CurrentState();
    ::TlsSetValue(g_tlsSlot, nullptr);
}

bool IsSeTranslatorInstalled() {
    return g_tlsSlot != TLS_OUT_OF_INDEXES && CurrentState() != nullptr;
}
