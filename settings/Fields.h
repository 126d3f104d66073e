#pragma once
// Fields bind one member of a class T to a tag and to the metaclass of the
// member's type. A class layout (ClassLayout.h) holds its fields in order.

#include "framework/CString.h"
#include "settings/ContainerMetaClass.h"
#include "settings/ItemCallback.h"
#include "settings/MetaClass.h"
#include "settings/TextEscape.h"

#include <memory>

template <class T> class Field {
public:
    virtual ~Field() = default;
    virtual const CString& GetName() const = 0;
    // node may be null: the object's node had no child of this name.
    virtual void ReadText(StorageNode* node, T* object) = 0;
    virtual void WriteText(StorageNode* node, T* object) = 0;
    virtual void ReadBinary(StorageNode* node, T* object) = 0;
    virtual void WriteBinary(StorageNode* node, T* object) = 0;
    virtual void SelectProfile(const char* profile) = 0;
};

template <class T> class BaseField : public Field<T> {
public:
    explicit BaseField(const char* name) : m_strName(TextStorage::MakeTagName(name)) {}
    const CString& GetName() const override { return m_strName; }

private:
    CString m_strName;
};

template <class T, class V> class ValueField : public BaseField<T> {
public:
    ValueField(const char* name, V T::*member, MetaClass<V>* metaClass)
        : BaseField<T>(name), m_member(member), m_pMetaClass(metaClass) {}

    void ReadText(StorageNode* node, T* object) override { Convert(node, object, &MetaClass<V>::ReadText); }
    void WriteText(StorageNode* node, T* object) override { Convert(node, object, &MetaClass<V>::WriteText); }
    void ReadBinary(StorageNode* node, T* object) override {
        Convert(node, object, &MetaClass<V>::ReadBinary);
    }
    void WriteBinary(StorageNode* node, T* object) override {
        if (!node)
            return;
        node->BeginValue();
        Convert(node, object, &MetaClass<V>::WriteBinary);
        node->EndValue();
    }
    void SelectProfile(const char* profile) override { m_pMetaClass->SelectProfile(profile); }

private:
    void Convert(StorageNode* node, T* object, void (MetaClass<V>::*conversion)(StorageNode*, V*)) {
        if (!node)
            return;
        m_pMetaClass->SetOwner(object);
        (m_pMetaClass->*conversion)(node, &(object->*m_member));
        m_pMetaClass->SetOwner(nullptr);
    }

    V T::*m_member;
    MetaClass<V>* m_pMetaClass;
};

template <class T, class L, class I, class MC> class ContainerField : public BaseField<T> {
public:
    using MemberCallback = int (T::*)(I&);
    using FreeCallback = int (*)(I&);

    ContainerField(const char* name, L T::*member, MC* metaClass)
        : BaseField<T>(name), m_member(member), m_pMetaClass(metaClass) {}

    // Attaches an item callback (see ItemCallback.h for the modes).
    void SetItemCallback(int mode, MemberCallback callback) {
        m_nMode = mode;
        m_memberCallback = callback;
        m_freeCallback = nullptr;
    }
    void SetItemCallback(int mode, FreeCallback callback) {
        m_nMode = mode;
        m_freeCallback = callback;
        m_memberCallback = nullptr;
    }

    void ReadText(StorageNode* node, T* object) override { Convert(node, object, &MC::ReadText); }
    void WriteText(StorageNode* node, T* object) override { Convert(node, object, &MC::WriteText); }
    void ReadBinary(StorageNode* node, T* object) override { Convert(node, object, &MC::ReadBinary); }
    void WriteBinary(StorageNode* node, T* object) override {
        if (node)
            node->BeginValue();
        Convert(node, object, &MC::WriteBinary);
        if (node)
            node->EndValue();
    }
    void SelectProfile(const char* profile) override { m_pMetaClass->SelectProfile(profile); }

private:
    void Convert(StorageNode* node, T* object, void (MC::*conversion)(StorageNode*, L*)) {
        std::unique_ptr<ItemCallback<I>> callback;
        if (m_memberCallback)
            callback =
                std::make_unique<ContItemCallback<I, T, MemberCallback>>(m_nMode, object, m_memberCallback);
        else if (m_freeCallback)
            callback =
                std::make_unique<ContItemCallback<I, T, FreeCallback>>(m_nMode, object, m_freeCallback);
        // The callback is cleared again however the conversion ends.
        struct Reset {
            MC* metaClass;
            ~Reset() { metaClass->SetItemCallback(nullptr); }
        } reset{m_pMetaClass};
        m_pMetaClass->SetItemCallback(callback.get());
        (m_pMetaClass->*conversion)(node, &(object->*m_member));
    }

    L T::*m_member;
    MC* m_pMetaClass;
    int m_nMode = 0;
    MemberCallback m_memberCallback = nullptr;
    FreeCallback m_freeCallback = nullptr;
};

// Runs a member function of the object at this place of the field order; it
// stores nothing and has no name, so writing creates no node for it.
template <class T, class F = bool (T::*)()> class MemFunCallField : public BaseField<T> {
public:
    MemFunCallField(F readFunction, F writeFunction)
        : BaseField<T>(""), m_readFunction(readFunction), m_writeFunction(writeFunction) {}

    void ReadText(StorageNode*, T* object) override { Run(m_readFunction, object); }
    void WriteText(StorageNode*, T* object) override { Run(m_writeFunction, object); }
    void ReadBinary(StorageNode*, T* object) override { Run(m_readFunction, object); }
    void WriteBinary(StorageNode*, T* object) override { Run(m_writeFunction, object); }
    void SelectProfile(const char*) override {}

private:
    static void Run(F function, T* object) {
        if (function)
            (object->*function)();
    }

    F m_readFunction;
    F m_writeFunction;
};
