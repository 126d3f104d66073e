#pragma once
// The metaclass of a list: one child node per item, under the item tag.
// Reading takes every child, whatever its tag, and appends to what the list
// already holds.

#include "framework/CString.h"
#include "settings/ItemCallback.h"
#include "settings/MetaClass.h"

template <class L, class I> class ContainerMetaClass : public MetaClass<L> {
public:
    ContainerMetaClass(const char* itemTag, MetaClass<I>* itemMetaClass)
        : m_strItemTag(itemTag), m_pItemMetaClass(itemMetaClass) {}

    void ReadText(StorageNode* node, L* list) override { Read(node, list, false); }
    void WriteText(StorageNode* node, L* list) override { Write(node, list, false); }
    void ReadBinary(StorageNode* node, L* list) override { Read(node, list, true); }
    void WriteBinary(StorageNode* node, L* list) override { Write(node, list, true); }

    void SetOwner(void* owner) override {
        m_pOwner = owner;
        m_pItemMetaClass->SetOwner(owner);
    }
    void* GetOwner() const override { return m_pOwner; }
    void SelectProfile(const char* profile) override { m_pItemMetaClass->SelectProfile(profile); }

    // Set by a container field for the length of one conversion.
    void SetItemCallback(ItemCallback<I>* callback) { m_pItemCallback = callback; }
    const CString& GetItemTag() const { return m_strItemTag; }

private:
    void Read(StorageNode* node, L* list, bool binary) {
        if (!node)
            return;
        for (unsigned i = 0; i < node->GetChildCount(); ++i) {
            StorageNode* child = node->GetChildAt(i);
            I item{};
            if (binary)
                m_pItemMetaClass->ReadBinary(child, &item);
            else
                m_pItemMetaClass->ReadText(child, &item);
            if (Keep(item))
                list->AddTail(item);
        }
    }

    bool Keep(I& item) {
        if (!m_pItemCallback || m_pItemCallback->GetMode() == 1)
            return true;
        return m_pItemCallback->Call(item) == 2;
    }

    void Write(StorageNode* node, L* list, bool binary) {
        if (!node)
            return;
        for (auto pos = list->GetHeadPosition(); pos;) {
            I copy = list->GetNext(pos);
            if (m_pItemCallback && (m_pItemCallback->GetMode() == 1 || m_pItemCallback->GetMode() == 2))
                m_pItemCallback->Call(copy);
            StorageNode* child = node->AddChild(m_strItemTag);
            child->BeginValue();
            if (binary)
                m_pItemMetaClass->WriteBinary(child, &copy);
            else
                m_pItemMetaClass->WriteText(child, &copy);
            child->EndValue();
        }
    }

    void* m_pOwner = nullptr;
    CString m_strItemTag;
    MetaClass<I>* m_pItemMetaClass;
    ItemCallback<I>* m_pItemCallback = nullptr;
};
