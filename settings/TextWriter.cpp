#include "settings/TextWriter.h"

#include "settings/Parser.h"
#include "settings/StorageException.h"
#include "settings/TextEscape.h"
#include "settings/Tokenizer.h"

namespace TextStorage {

namespace {

const size_t kPieceBytes = 64;
// fgets keeps one byte of the buffer for its terminator and the line needs
// its line feed.
const size_t kLongestLine = Tokenizer::kBufferSize - 2;

class LineWriter {
public:
    LineWriter(std::string& out, int codePage) : m_out(out), m_codePage(codePage) {}

    void Node(const StorageNode& node, int depth) {
        Indent(depth);
        m_line += node.GetName().str();
        if (node.IsLeaf()) {
            Value(node.GetValue().str(), depth);
            return;
        }
        if (depth >= Parser::kMaxDepth)
            throw Exception("WriteNode:: tree nested deeper than %d levels", Parser::kMaxDepth);
        EndLine();
        Indent(depth);
        m_line += '{';
        EndLine();
        if (depth == 0 && m_codePage != -1) {
            m_line += "CodePage_ \"" + std::to_string(m_codePage) + "\"";
            EndLine();
        }
        for (unsigned i = 0; i < node.GetChildCount(); ++i)
            Node(*node.GetChildAt(i), depth + 1);
        Indent(depth);
        m_line += '}';
        EndLine();
    }

private:
    void Value(const std::string& value, int depth) {
        size_t pieces = value.empty() ? 1 : (value.size() + kPieceBytes - 1) / kPieceBytes;
        for (size_t p = 0; p < pieces; ++p) {
            size_t start = p * kPieceBytes;
            std::string piece = value.substr(start, kPieceBytes);
            bool last = p + 1 == pieces;
            bool digitNext = !last && value[start + kPieceBytes] >= '0' && value[start + kPieceBytes] <= '9';
            if (p == 0) {
                m_line += ' ';
            } else {
                Indent(depth + 1);
            }
            m_line += '"';
            m_line += EscapeTextPiece(CString(piece), m_codePage, digitNext).str();
            m_line += '"';
            if (!last)
                m_line += " \\";
            EndLine();
        }
    }

    void Indent(int depth) { m_line.append(size_t(depth) * 4, ' '); }

    void EndLine() {
        if (m_line.size() > kLongestLine)
            throw Exception("WriteNode:: a line of %u bytes is longer than a reader takes",
                            unsigned(m_line.size()));
        m_out += m_line;
        m_out += '\n';
        m_line.clear();
    }

    std::string& m_out;
    std::string m_line;
    int m_codePage;
};

} // namespace

void WriteNode(std::string& out, const StorageNode& node, int depth, int codePage) {
    std::string text;
    LineWriter(text, codePage).Node(node, depth);
    out += text;
}

bool WriteNode(FILE* stream, const StorageNode& node, int depth, int codePage) {
    std::string text;
    WriteNode(text, node, depth, codePage);
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

} // namespace TextStorage
