#pragma once
// Helpers of the settings tests: documents parsed from text, trees written to
// text, fixture files, and the platform's form of a text file.

#include "TreeCompare.h"
#include "settings/TextNode.h"

#include <memory>
#include <string>

namespace settings_test {

// The outcome of parsing a document: the tree, or the error message.
struct ParseResult {
    std::unique_ptr<TextStorage::TextNode> root;
    std::string error; // empty when the parse succeeded
    int codePage = -1;
};

// Parses text (given with \n line ends) through a real file opened in text
// mode, as the file-level load does.
ParseResult ParseText(const std::string& text);

// The text WriteNode makes of the tree (line feeds only).
std::string WrittenText(const StorageNode& root, int codePage = -1);

// A file under tests/settings/fixtures, as stored (line feeds only).
std::string FixtureText(const std::string& name);

// The bytes a text-mode stream puts on the disk for text: CR LF on Windows.
std::string OnDisk(const std::string& text);

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

} // namespace settings_test
