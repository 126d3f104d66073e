#pragma once
// Whole documents of the text format on disk.
//
// Saving never writes the file in place: the text is written to a new file
// beside it and swapped in over the old one in one step, only after every
// byte was written and flushed. A full disk or a crash part-way leaves the
// old file whole, and no stray file behind.

#include "settings/TextNode.h"

namespace TextStorage {

// Parses the file at path into root. False when the file cannot be opened;
// a malformed file, or one whose top-level block is empty ("empty tree!"),
// raises an Exception. codePage receives the code page the parse ended with.
bool ReadDocumentFile(const char* path, StorageNode& root, int& codePage);

// Writes root as the whole new content of path. False when the text could
// not be written and swapped in; the old file then stays as it was. A tree
// the writer refuses raises an Exception before the disk is touched.
bool WriteDocumentFile(const char* path, const StorageNode& root, int codePage);

} // namespace TextStorage
