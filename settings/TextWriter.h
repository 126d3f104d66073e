#pragma once
// Writes a tree in the text format: "name "value"" lines for leaves, and
// "name", "{", the children, "}" for every other node, indented by four
// spaces a level. Values longer than 64 bytes are cut into pieces of 64 bytes
// continued on the following lines.
//
// Lines end with a line feed; a stream opened in text mode turns them into
// CR LF on Windows. The writer refuses, with an Exception and before any
// byte reaches the stream, a tree that the reader could not read back: one
// nested deeper than Parser::kMaxDepth, or one whose line would not fit the
// reader's line buffer (only very long tag names can make one).

#include "settings/StorageNode.h"

#include <cstdio>
#include <string>

namespace TextStorage {

// Appends the text of node and its subtree to out.
void WriteNode(std::string& out, const StorageNode& node, int depth, int codePage);
// Prints node and its subtree to stream; false when the stream failed.
bool WriteNode(FILE* stream, const StorageNode& node, int depth, int codePage);

} // namespace TextStorage
