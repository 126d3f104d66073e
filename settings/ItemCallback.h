#pragma once
// Callbacks a container field may run on each item it converts.
// Mode 0 filters items when reading (an item is kept when the call returns
// 2), mode 1 adjusts a copy of each item before it is written, mode 2 does
// both.

template <class I> class ItemCallback {
public:
    virtual ~ItemCallback() = default;
    virtual int GetMode() const = 0;
    virtual int Call(I& item) = 0;
};

template <class I, class T, class F> class ContItemCallback : public ItemCallback<I> {
public:
    ContItemCallback(int mode, T* owner, F function) : m_nMode(mode), m_pOwner(owner), m_function(function) {}
    int GetMode() const override { return m_nMode; }
    int Call(I& item) override { return m_function ? Invoke(m_function, item) : 2; }

private:
    int Invoke(int (T::*function)(I&), I& item) { return (m_pOwner->*function)(item); }
    int Invoke(int (*function)(I&), I& item) { return function(item); }

    int m_nMode;
    T* m_pOwner;
    F m_function;
};
