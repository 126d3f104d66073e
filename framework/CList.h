#pragma once
// The framework's doubly linked list with opaque positions, as the
// application code walks it:
//     for (POSITION pos = list.GetHeadPosition(); pos;) { auto& s = list.GetNext(pos); ... }
// Portable; used natively by the settings code.

#include <cstddef>

typedef struct __POSITION* POSITION;

template <class TYPE, class ARG_TYPE = const TYPE&> class CList {
    struct Node {
        Node* prev;
        Node* next;
        TYPE data;
    };
    static Node* N(POSITION p) { return reinterpret_cast<Node*>(p); }
    static POSITION P(Node* n) { return reinterpret_cast<POSITION>(n); }

public:
    CList() = default;
    CList(const CList& other) { AddTail(other); }
    CList& operator=(const CList& other) {
        if (this != &other) {
            RemoveAll();
            AddTail(other);
        }
        return *this;
    }
    ~CList() { RemoveAll(); }

    int GetCount() const { return m_nCount; }
    int GetSize() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }

    TYPE& GetHead() { return m_pHead->data; }
    const TYPE& GetHead() const { return m_pHead->data; }
    TYPE& GetTail() { return m_pTail->data; }
    const TYPE& GetTail() const { return m_pTail->data; }

    POSITION AddHead(ARG_TYPE value) { return InsertBefore(GetHeadPosition(), value); }
    POSITION AddTail(ARG_TYPE value) { return InsertAfter(GetTailPosition(), value); }
    void AddTail(const CList& other) {
        for (Node* n = other.m_pHead; n; n = n->next)
            AddTail(n->data);
    }

    TYPE RemoveHead() {
        TYPE value = m_pHead->data;
        RemoveAt(GetHeadPosition());
        return value;
    }
    TYPE RemoveTail() {
        TYPE value = m_pTail->data;
        RemoveAt(GetTailPosition());
        return value;
    }
    void RemoveAll() {
        while (m_pHead)
            RemoveAt(P(m_pHead));
    }

    POSITION GetHeadPosition() const { return P(m_pHead); }
    POSITION GetTailPosition() const { return P(m_pTail); }
    TYPE& GetNext(POSITION& pos) {
        Node* n = N(pos);
        pos = P(n->next);
        return n->data;
    }
    const TYPE& GetNext(POSITION& pos) const {
        Node* n = N(pos);
        pos = P(n->next);
        return n->data;
    }
    TYPE& GetPrev(POSITION& pos) {
        Node* n = N(pos);
        pos = P(n->prev);
        return n->data;
    }
    TYPE& GetAt(POSITION pos) { return N(pos)->data; }
    const TYPE& GetAt(POSITION pos) const { return N(pos)->data; }
    void SetAt(POSITION pos, ARG_TYPE value) { N(pos)->data = value; }

    // A null position inserts at the head (before) or the tail (after).
    POSITION InsertBefore(POSITION pos, ARG_TYPE value) {
        Node* at = N(pos);
        Node* n = new Node{at ? at->prev : nullptr, at, value};
        if (!at) {
            n->next = m_pHead;
            if (m_pHead)
                m_pHead->prev = n;
            else
                m_pTail = n;
            m_pHead = n;
        } else {
            if (at->prev)
                at->prev->next = n;
            else
                m_pHead = n;
            at->prev = n;
        }
        ++m_nCount;
        return P(n);
    }
    POSITION InsertAfter(POSITION pos, ARG_TYPE value) {
        Node* at = N(pos);
        if (!at)
            at = m_pTail;
        Node* n = new Node{at, at ? at->next : nullptr, value};
        if (!at) {
            m_pHead = m_pTail = n;
        } else {
            if (at->next)
                at->next->prev = n;
            else
                m_pTail = n;
            at->next = n;
        }
        ++m_nCount;
        return P(n);
    }

    void RemoveAt(POSITION pos) {
        Node* n = N(pos);
        if (!n)
            return;
        (n->prev ? n->prev->next : m_pHead) = n->next;
        (n->next ? n->next->prev : m_pTail) = n->prev;
        delete n;
        --m_nCount;
    }

    // Position of the first element equal to value after startAfter (null:
    // from the head), or null.
    POSITION Find(ARG_TYPE value, POSITION startAfter = nullptr) const {
        Node* n = startAfter ? N(startAfter)->next : m_pHead;
        for (; n; n = n->next)
            if (n->data == value)
                return P(n);
        return nullptr;
    }
    POSITION FindIndex(int index) const {
        if (index < 0 || index >= m_nCount)
            return nullptr;
        Node* n = m_pHead;
        while (index--)
            n = n->next;
        return P(n);
    }

private:
    Node* m_pHead = nullptr;
    Node* m_pTail = nullptr;
    int m_nCount = 0;
};
