#pragma once
// The stored members of a class T, in order, grouped into named profiles.
// A persistent class declares a nested class Layout, derived from
// ClassLayout<T>, whose constructor registers the fields:
//
//     class CPhoto {
//         CString m_strPath;
//     public:
//         struct Layout : ClassLayout<CPhoto> {
//             Layout() : ClassLayout<CPhoto>("CPhoto") { AddValueField("Path", &CPhoto::m_strPath); }
//         };
//     };
//
// Fields registered after SelectProfile("Name") belong to that profile.

#include "framework/CString.h"
#include "settings/Fields.h"

#include <memory>
#include <vector>

template <class V> struct MetaClassOf;
template <class V> typename MetaClassOf<V>::type* GetMetaClass();

template <class T> class ClassLayout {
public:
    explicit ClassLayout(const char* classTag) : m_strClassTag(classTag) {
        m_profileNames.emplace_back("Default");
        m_profileFields.emplace_back();
        SelectProfile(nullptr);
    }
    ClassLayout(const ClassLayout&) = delete;
    ClassLayout& operator=(const ClassLayout&) = delete;
    virtual ~ClassLayout() = default;

    // Told at the start of every read or write of an object of T.
    virtual void OnProcess(StorageNode* /*node*/, T* /*object*/, bool /*binary*/, bool /*reading*/,
                           const char* /*profile*/) {}

    // Null selects "Default"; an unknown name creates an empty profile.
    void SelectProfile(const char* name) {
        if (!name) {
            m_nCurrent = 0;
            return;
        }
        for (size_t i = 0; i < m_profileNames.size(); ++i) {
            if (m_profileNames[i] == name) {
                m_nCurrent = i;
                return;
            }
        }
        m_profileNames.emplace_back(name);
        m_profileFields.emplace_back();
        m_nCurrent = m_profileNames.size() - 1;
    }

    const CString& GetClassTag() const { return m_strClassTag; }
    const CString& GetProfileName() const { return m_profileNames[m_nCurrent]; }
    size_t GetFieldCount() const { return m_profileFields[m_nCurrent].size(); }
    Field<T>& GetField(size_t index) const { return *m_profileFields[m_nCurrent][index]; }

protected:
    template <class V> void AddValueField(const char* name, V T::*member) {
        Add(std::make_unique<ValueField<T, V>>(name, member, GetMetaClass<V>()));
    }

    template <class L> auto& AddContainerField(const char* name, L T::*member) {
        using MC = typename MetaClassOf<L>::type;
        using F = ContainerField<T, L, typename MC::item_type, MC>;
        auto field = std::make_unique<F>(name, member, GetMetaClass<L>());
        F& added = *field;
        Add(std::move(field));
        return added; // the layout may attach an item callback to it
    }

    // Mode 0 runs function when an object is read, 1 when it is written, 2
    // on both; any other mode never.
    void AddMemFunCallField(int mode, bool (T::*function)()) {
        bool (T::*none)() = nullptr;
        Add(std::make_unique<MemFunCallField<T>>(mode == 0 || mode == 2 ? function : none,
                                                 mode == 1 || mode == 2 ? function : none));
    }

private:
    void Add(std::unique_ptr<Field<T>> field) { m_profileFields[m_nCurrent].push_back(std::move(field)); }

    CString m_strClassTag;
    std::vector<CString> m_profileNames;
    std::vector<std::vector<std::unique_ptr<Field<T>>>> m_profileFields;
    size_t m_nCurrent = 0;
};

// The one layout object of T, built on first use and destroyed at exit.
template <class T> typename T::Layout& GetLayout() {
    static typename T::Layout layout;
    return layout;
}

template <class T> class ClassMetaClass : public OwnedMetaClass<T> {
public:
    ClassMetaClass() : m_layout(GetLayout<T>()) {}

    void ReadText(StorageNode* node, T* object) override { Read(node, object, false); }
    void WriteText(StorageNode* node, T* object) override { Write(node, object, false); }
    void ReadBinary(StorageNode* node, T* object) override { Read(node, object, true); }
    void WriteBinary(StorageNode* node, T* object) override { Write(node, object, true); }
    void SelectProfile(const char* profile) override { m_layout.SelectProfile(profile); }

private:
    // Nested members are converted with the profile of the class that holds
    // them; the name is copied because selecting it elsewhere may add
    // profiles to a layout.
    void Read(StorageNode* node, T* object, bool binary) {
        if (!node)
            return;
        CString profile = m_layout.GetProfileName();
        m_layout.OnProcess(node, object, binary, true, profile);
        for (size_t i = 0; i < m_layout.GetFieldCount(); ++i) {
            Field<T>& field = m_layout.GetField(i);
            StorageNode* child = node->FindChild(field.GetName());
            field.SelectProfile(profile);
            if (binary)
                field.ReadBinary(child, object);
            else
                field.ReadText(child, object);
        }
    }

    void Write(StorageNode* node, T* object, bool binary) {
        if (!node)
            return;
        CString profile = m_layout.GetProfileName();
        m_layout.OnProcess(node, object, binary, false, profile);
        for (size_t i = 0; i < m_layout.GetFieldCount(); ++i) {
            Field<T>& field = m_layout.GetField(i);
            StorageNode* child = field.GetName().IsEmpty() ? nullptr : node->AddChild(field.GetName());
            field.SelectProfile(profile);
            if (binary)
                field.WriteBinary(child, object);
            else
                field.WriteText(child, object);
        }
    }

    ClassLayout<T>& m_layout;
};
