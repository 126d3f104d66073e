#pragma once
// Loading and saving an object of a persistent class as a text file.
// Both return 0 on success and -1 on failure, and never let a text storage
// error escape: its message is dropped and the object stays as it was when
// the file could not be read whole.

#include "framework/CString.h"
#include "settings/Reflection.h"
#include "settings/StorageException.h"
#include "settings/TextDocumentFile.h"
#include "settings/TextEscape.h"
#include "settings/TextNode.h"

// profile null means "Default"; codePage, when given, receives the file's
// code page (-1 when it names none).
template <class T>
int LoadFromTextFile(const char* path, T* object, const char* profile = nullptr, int* codePage = nullptr) {
    try {
        TextStorage::TextNode root;
        int fileCodePage = -1;
        if (!TextStorage::ReadDocumentFile(path, root, fileCodePage))
            return -1;
        if (codePage)
            *codePage = fileCodePage;
        auto* metaClass = GetMetaClass<T>();
        metaClass->SelectProfile(profile);
        metaClass->ReadText(&root, object);
        return 0;
    } catch (const TextStorage::Exception&) {
        return -1;
    }
}

// The file gets one top-level block named rootTag (made a valid tag).
template <class T>
int SaveToTextFile(const char* path, const char* rootTag, T* object, int codePage = -1,
                   const char* profile = nullptr) {
    try {
        TextStorage::TextNode root;
        root.SetName(TextStorage::MakeTagName(rootTag));
        auto* metaClass = GetMetaClass<T>();
        metaClass->SelectProfile(profile);
        metaClass->WriteText(&root, object);
        return TextStorage::WriteDocumentFile(path, root, codePage) ? 0 : -1;
    } catch (const TextStorage::Exception&) {
        return -1;
    }
}
