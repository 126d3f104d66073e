#pragma once
// Turns hardware exceptions on chosen threads into C++ exceptions: after
// InstallSeTranslator on a thread, an access violation (or a division by
// zero, an illegal instruction...) on that thread throws a CSeException* at
// the faulting instruction, so destructors of the frames in between run and
// the worker's catch receives it. Other threads are not affected.
//
// Needs the code to be compiled with -fnon-call-exceptions, so that any
// instruction that can fault is covered by the unwind tables.

// Both are called on the thread concerned.
void InstallSeTranslator();
void RemoveSeTranslator();
bool IsSeTranslatorInstalled();
