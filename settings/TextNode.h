#pragma once
// The storage node of the text format: a value, a flag telling whether one
// was ever set (a node without one is written as a block), and the buffer
// that GetBinary decodes into.

#include "settings/StorageNode.h"

#include <vector>

namespace TextStorage {

class TextNode : public StorageNodeBase {
public:
    const CString& GetValue() const override { return m_strValue; }
    void SetValue(const CString& text) override {
        m_strValue = text;
        m_bHasValue = true;
    }
    const unsigned char* GetBinary(unsigned& count) override;
    void SetBinary(const void* bytes, unsigned count) override;
    StorageNode* AddChild(const CString& name) override;
    bool IsLeaf() const override { return m_bHasValue && GetChildCount() == 0; }

private:
    CString m_strValue;
    bool m_bHasValue = false;
    std::vector<unsigned char> m_binary;
};

} // namespace TextStorage
