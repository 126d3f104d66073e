#pragma once
// The storage tree: named nodes that hold either a text value or child
// nodes. StorageNode is the interface the reflection framework converts
// objects through; StorageNodeBase keeps the name and the owned children and
// leaves the value side to the concrete node class (TextStorage::TextNode).

#include "framework/CString.h"

#include <memory>
#include <utility>
#include <vector>

class StorageNode {
public:
    virtual ~StorageNode() = default;

    virtual const CString& GetName() const = 0;
    virtual void SetName(const CString& name) = 0;
    virtual const CString& GetValue() const = 0;
    virtual void SetValue(const CString& text) = 0;
    // The bytes stay valid until the next GetBinary on this node.
    virtual const unsigned char* GetBinary(unsigned& count) = 0;
    virtual void SetBinary(const void* bytes, unsigned count) = 0;
    virtual unsigned GetChildCount() const = 0;
    virtual StorageNode* AddChild(const CString& name) = 0;
    virtual void RemoveChild(const CString& name) = 0;
    virtual void RemoveChildAt(unsigned index) = 0;
    virtual void RemoveAllChildren() = 0;
    virtual StorageNode* FindChild(const CString& name) const = 0;
    virtual StorageNode* GetChildAt(unsigned index) const = 0;
    virtual bool IsLeaf() const = 0;
    virtual void BeginValue() = 0;
    virtual void EndValue() = 0;
};

class StorageNodeBase : public StorageNode {
public:
    StorageNodeBase() = default;
    StorageNodeBase(const StorageNodeBase&) = delete;
    StorageNodeBase& operator=(const StorageNodeBase&) = delete;
    ~StorageNodeBase() override { RemoveAllChildren(); }

    const CString& GetName() const override { return m_strName; }
    void SetName(const CString& name) override { m_strName = name; }
    unsigned GetChildCount() const override { return unsigned(m_children.size()); }
    void RemoveChild(const CString& name) override;
    void RemoveChildAt(unsigned index) override;
    void RemoveAllChildren() override;
    StorageNode* FindChild(const CString& name) const override;
    StorageNode* GetChildAt(unsigned index) const override;
    void BeginValue() override {}
    void EndValue() override {}

protected:
    // Appends an owned child under the name it was created with.
    StorageNode* AppendChild(const CString& name, std::unique_ptr<StorageNode> child);

private:
    // The name is copied when the child is added; lookups compare against
    // this copy, not against the child's current name.
    using Entry = std::pair<CString, std::unique_ptr<StorageNode>>;
    CString m_strName;
    std::vector<Entry> m_children;
};
