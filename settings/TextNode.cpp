#include "settings/TextNode.h"

namespace TextStorage {

namespace {
const char kHexDigits[] = "0123456789ABCDEF";
const unsigned kBytesPerHexChild = 32;

// The writer only produces uppercase digits; lowercase ones are taken too,
// anything else counts as a zero digit.
unsigned HexValue(char ch) {
    if (ch >= '0' && ch <= '9')
        return unsigned(ch - '0');
    if (ch >= 'A' && ch <= 'F')
        return unsigned(ch - 'A' + 10);
    if (ch >= 'a' && ch <= 'f')
        return unsigned(ch - 'a' + 10);
    return 0;
}
} // namespace

StorageNode* TextNode::AddChild(const CString& name) {
    return AppendChild(name, std::make_unique<TextNode>());
}

void TextNode::SetBinary(const void* bytes, unsigned count) {
    if (count == 0) {
        AddChild("hex")->SetValue("");
        return;
    }
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    for (unsigned done = 0; done < count; done += kBytesPerHexChild) {
        unsigned piece = count - done < kBytesPerHexChild ? count - done : kBytesPerHexChild;
        std::string digits;
        for (unsigned i = 0; i < piece; ++i) {
            digits += kHexDigits[p[done + i] >> 4];
            digits += kHexDigits[p[done + i] & 15];
        }
        AddChild("hex")->SetValue(CString(digits));
    }
}

const unsigned char* TextNode::GetBinary(unsigned& count) {
    m_binary.clear();
    for (unsigned c = 0; c < GetChildCount(); ++c) {
        const std::string& digits = GetChildAt(c)->GetValue().str();
        for (size_t i = 0; i + 1 < digits.size(); i += 2)
            m_binary.push_back(
                static_cast<unsigned char>(HexValue(digits[i]) << 4 | HexValue(digits[i + 1])));
    }
    count = unsigned(m_binary.size());
    return m_binary.data();
}

} // namespace TextStorage
