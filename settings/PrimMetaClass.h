#pragma once
// Metaclasses of the primitive types: the framework's string and unsigned int.

#include "framework/CString.h"
#include "settings/MetaClass.h"

template <> class PrimMetaClass<CString> : public OwnedMetaClass<CString> {
public:
    // Text: the value up to its first NUL byte. Binary: the characters
    // without terminator; a node without bytes leaves the string unchanged.
    void ReadText(StorageNode* node, CString* value) override;
    void WriteText(StorageNode* node, CString* value) override;
    void ReadBinary(StorageNode* node, CString* value) override;
    void WriteBinary(StorageNode* node, CString* value) override;
    void SelectProfile(const char*) override {}
};

template <> class PrimMetaClass<unsigned int> : public OwnedMetaClass<unsigned int> {
public:
    // Text: read as atoi reads, written in signed decimal, so values from
    // 2^31 up appear negative (4294967295 is "-1") and read back the same.
    // Binary: four bytes, least significant first; a node with fewer bytes
    // leaves the value unchanged.
    void ReadText(StorageNode* node, unsigned int* value) override;
    void WriteText(StorageNode* node, unsigned int* value) override;
    void ReadBinary(StorageNode* node, unsigned int* value) override;
    void WriteBinary(StorageNode* node, unsigned int* value) override;
    void SelectProfile(const char*) override {}
};
