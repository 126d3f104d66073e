#pragma once
// The reflection framework in one include: metaclasses, fields, layouts and
// GetMetaClass, which hands out the one metaclass object of each type.

#include "framework/CList.h"
#include "framework/CString.h"
#include "settings/ClassLayout.h"
#include "settings/ContainerMetaClass.h"
#include "settings/PrimMetaClass.h"

// Which metaclass describes V, and its single instance. A class is
// described by its layout; the primitive types and lists have their own.
template <class V> struct MetaClassOf {
    using type = ClassMetaClass<V>;
    static type* Instance() {
        static type metaClass;
        return &metaClass;
    }
};

template <> struct MetaClassOf<CString> {
    using type = PrimMetaClass<CString>;
    static type* Instance() {
        static type metaClass;
        return &metaClass;
    }
};

template <> struct MetaClassOf<unsigned int> {
    using type = PrimMetaClass<unsigned int>;
    static type* Instance() {
        static type metaClass;
        return &metaClass;
    }
};

template <class I> struct MetaClassOf<CList<I>> {
    struct type : ContainerMetaClass<CList<I>, I> {
        using item_type = I;
        type() : ContainerMetaClass<CList<I>, I>("Item", GetMetaClass<I>()) {}
    };
    static type* Instance() {
        static type metaClass;
        return &metaClass;
    }
};

// Created on first use, alive until the process ends.
template <class V> typename MetaClassOf<V>::type* GetMetaClass() {
    return MetaClassOf<V>::Instance();
}
