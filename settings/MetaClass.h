#pragma once
// A metaclass describes one type to the storage tree: it converts a value of
// that type to and from a node, in a text form (node values) and a binary
// form (node bytes). There is one metaclass object per type, reached through
// GetMetaClass (Reflection.h); none is ever deleted through this interface.

#include "settings/StorageNode.h"

template <class V> class MetaClass {
public:
    // Each conversion does nothing when there is no node.
    virtual void ReadText(StorageNode* node, V* value) = 0;
    virtual void WriteText(StorageNode* node, V* value) = 0;
    virtual void ReadBinary(StorageNode* node, V* value) = 0;
    virtual void WriteBinary(StorageNode* node, V* value) = 0;
    // The object that holds the value under conversion, while it runs.
    virtual void SetOwner(void* owner) = 0;
    virtual void* GetOwner() const = 0;
    // Chooses the profile of a class layout; null means "Default".
    virtual void SelectProfile(const char* profile) = 0;

protected:
    MetaClass() = default;
    ~MetaClass() = default;
};

template <class V> class OwnedMetaClass : public MetaClass<V> {
public:
    void SetOwner(void* owner) override { m_pOwner = owner; }
    void* GetOwner() const override { return m_pOwner; }

private:
    void* m_pOwner = nullptr;
};

// The metaclass of a primitive type; specialised for each type it knows.
template <class V> class PrimMetaClass;
