#pragma once
// Temporary files that a rewrite left behind when its program was ended (a
// kill, a crash, a power cut) between making "<photo name>.norvane-tmp" and
// renaming it over the photo. The rename is one step, so the photo is whole
// under its own name whenever such a file is found; a program that replaced
// photos in more steps could leave the photo's name gone and its secured
// bytes in the temporary file. Every folder walk (the scan's, the monitor's
// and norvane-cli's) hands the temporary names it meets to ResolveLeftover:
//  - the photo is there: the leftover is removed;
//  - the photo is missing and the leftover is a whole JPEG codestream (it
//    maps to its EOI): it is put in the photo's place, visible;
//  - the photo is missing and the leftover is cut short: it is left alone.
//    It may be the only copy of the photo's bytes; a person can judge it,
//    a program cannot.
// A caller with several threads must keep its other threads from writing
// the leftover meanwhile (the program takes the photo's claim around it).

#include <string>

enum class Leftover {
    kNone,     // not a temporary file's name
    kRemoved,  // the photo is there; the leftover is gone (or was already)
    kRestored, // the leftover now is the photo
    kKept,     // the photo is missing and the leftover is not whole: left alone
};

// True for a name or path that ends in ".norvane-tmp".
bool IsLeftoverName(const char* name);

// The photo a temporary file belongs to: its path without the ending.
std::string PhotoOfLeftover(const char* path);

Leftover ResolveLeftover(const char* path);
