#include "settings/Parser.h"

#include "settings/StorageException.h"
#include "settings/TextEscape.h"

namespace TextStorage {

namespace {
bool IsOpeningBrace(const Tokenizer& t) {
    return t.GetKind() == Tokenizer::Punctuation && t.GetPunctuation() == '{';
}
bool IsClosingBrace(const Tokenizer& t) {
    return t.GetKind() == Tokenizer::Punctuation && t.GetPunctuation() == '}';
}
} // namespace

void Parser::Fail(const char* what) const {
    throw Exception("Parser:: %s, at row %d, col %d", what, m_tokenizer.GetRow(),
                    m_tokenizer.GetColumn() + 1);
}

void Parser::SetAttribute(StorageNode& node, const CString& tag) {
    const CString& raw = m_tokenizer.GetString();
    if (tag == "CodePage_")
        m_nCodePage = ReadIntLikeAtoi(raw);
    node.SetValue(UnescapeText(raw, m_nCodePage));
}

void Parser::Parse(StorageNode& root) {
    for (;;) {
        Tokenizer::Kind kind = m_tokenizer.NextToken();
        if (kind == Tokenizer::End)
            return;
        if (kind != Tokenizer::Identifier)
            Fail("Missing tag!");
        CString tag = m_tokenizer.GetIdentifier();
        m_tokenizer.NextToken();
        if (IsOpeningBrace(m_tokenizer)) {
            root.SetName(tag);
            ParseBlock(root, 0);
        } else if (m_tokenizer.GetKind() == Tokenizer::String) {
            SetAttribute(root, tag);
        } else {
            Fail("Missing attr value or childs elements");
        }
    }
}

void Parser::ParseBlock(StorageNode& node, int depth) {
    if (depth >= kMaxDepth)
        Fail("too deeply nested");
    for (;;) {
        Tokenizer::Kind kind = m_tokenizer.NextToken();
        if (IsClosingBrace(m_tokenizer))
            return;
        if (kind == Tokenizer::End)
            Fail("node parsing error, '}' missing");
        if (kind != Tokenizer::Identifier)
            Fail("Missing tag!");
        CString tag = m_tokenizer.GetIdentifier();
        m_tokenizer.NextToken();
        if (IsOpeningBrace(m_tokenizer)) {
            ParseBlock(*node.AddChild(tag), depth + 1);
        } else if (m_tokenizer.GetKind() == Tokenizer::String) {
            SetAttribute(*node.AddChild(tag), tag);
        } else {
            Fail("Missing attr value or childs elements");
        }
    }
}

} // namespace TextStorage
