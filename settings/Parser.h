#pragma once
// Recursive-descent reader of a document of the text format into a tree.
//
// Blocks may nest kMaxDepth levels below the root and no deeper: the parser
// recurses once per level, and a bound keeps a hostile file from exhausting
// the stack (the writer refuses deeper trees, so whatever is written reads
// back).

#include "settings/StorageNode.h"
#include "settings/Tokenizer.h"

namespace TextStorage {

class Parser {
public:
    static const int kMaxDepth = 256;

    explicit Parser(Tokenizer& tokenizer) : m_tokenizer(tokenizer) {}

    // Reads the whole document into root: the last top-level block names it
    // and every top-level block adds its children.
    void Parse(StorageNode& root);
    // -1 unless a "CodePage_" attribute changed it.
    int GetCodePage() const { return m_nCodePage; }

private:
    void ParseBlock(StorageNode& node, int depth);
    void SetAttribute(StorageNode& node, const CString& tag);
    [[noreturn]] void Fail(const char* what) const;

    Tokenizer& m_tokenizer;
    int m_nCodePage = -1;
};

} // namespace TextStorage
