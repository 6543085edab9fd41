// MFC's collections as the system's code uses them: the list template with CObList and
// CStringList, and the array template with CDWordArray. A position or index that names no
// element reads as a value-initialised element and changes nothing, instead of corrupting
// the collection.
#pragma once

#include "mfc/object.h"
#include "mfc/string.h"

#include <cstdint>
#include <utility>
#include <vector>

using INT_PTR = std::intptr_t;

struct PositionTag;
using POSITION = PositionTag*;

template <class TYPE, class ARG_TYPE = const TYPE&> class CList : public CObject {
    struct Node {
        Node* next;
        Node* prev;
        TYPE data;
    };

public:
    explicit CList(INT_PTR blockSize = 10) : m_blockSize(blockSize) {}
    CList(const CList&) = delete;
    CList& operator=(const CList&) = delete;
    ~CList() override { RemoveAll(); }

    INT_PTR GetCount() const { return m_count; }
    INT_PTR GetSize() const { return m_count; }
    BOOL IsEmpty() const { return m_count == 0 ? TRUE : FALSE; }

    TYPE& GetHead() { return m_head != nullptr ? m_head->data : m_invalid; }
    const TYPE& GetHead() const { return m_head != nullptr ? m_head->data : m_invalid; }
    TYPE& GetTail() { return m_tail != nullptr ? m_tail->data : m_invalid; }
    const TYPE& GetTail() const { return m_tail != nullptr ? m_tail->data : m_invalid; }

    TYPE RemoveHead() { return take(m_head); }
    TYPE RemoveTail() { return take(m_tail); }

    POSITION AddHead(ARG_TYPE value) {
        Node* n = new Node{m_head, nullptr, TYPE(value)};
        (m_head != nullptr ? m_head->prev : m_tail) = n;
        m_head = n;
        ++m_count;
        return toPosition(n);
    }
    POSITION AddTail(ARG_TYPE value) {
        Node* n = new Node{nullptr, m_tail, TYPE(value)};
        (m_tail != nullptr ? m_tail->next : m_head) = n;
        m_tail = n;
        ++m_count;
        return toPosition(n);
    }
    void AddTail(const CList* other) {
        for (Node* n = other != nullptr ? other->m_head : nullptr; n != nullptr; n = n->next)
            AddTail(n->data);
    }
    void RemoveAll() {
        while (m_head != nullptr)
            take(m_head);
    }

    POSITION GetHeadPosition() const { return toPosition(m_head); }
    POSITION GetTailPosition() const { return toPosition(m_tail); }
    TYPE& GetNext(POSITION& pos) { return step(pos, true); }
    const TYPE& GetNext(POSITION& pos) const { return const_cast<CList*>(this)->step(pos, true); }
    TYPE& GetPrev(POSITION& pos) { return step(pos, false); }
    const TYPE& GetPrev(POSITION& pos) const { return const_cast<CList*>(this)->step(pos, false); }
    TYPE& GetAt(POSITION pos) { return pos != nullptr ? node(pos)->data : m_invalid; }
    const TYPE& GetAt(POSITION pos) const { return pos != nullptr ? node(pos)->data : m_invalid; }
    void SetAt(POSITION pos, ARG_TYPE value) {
        if (pos != nullptr) node(pos)->data = value;
    }
    void RemoveAt(POSITION pos) {
        if (pos != nullptr) take(node(pos));
    }

    POSITION InsertBefore(POSITION pos, ARG_TYPE value) {
        Node* at = node(pos);
        if (at == nullptr) return AddHead(value);
        Node* n = new Node{at, at->prev, TYPE(value)};
        (at->prev != nullptr ? at->prev->next : m_head) = n;
        at->prev = n;
        ++m_count;
        return toPosition(n);
    }
    POSITION InsertAfter(POSITION pos, ARG_TYPE value) {
        Node* at = node(pos);
        if (at == nullptr) return AddTail(value);
        Node* n = new Node{at->next, at, TYPE(value)};
        (at->next != nullptr ? at->next->prev : m_tail) = n;
        at->next = n;
        ++m_count;
        return toPosition(n);
    }

    POSITION Find(ARG_TYPE value, POSITION startAfter = nullptr) const {
        Node* n = startAfter != nullptr ? node(startAfter)->next : m_head;
        for (; n != nullptr; n = n->next) {
            if (n->data == value) return toPosition(n);
        }
        return nullptr;
    }
    POSITION FindIndex(INT_PTR index) const {
        if (index < 0 || index >= m_count) return nullptr;
        Node* n = m_head;
        while (index-- > 0)
            n = n->next;
        return toPosition(n);
    }

private:
    static Node* node(POSITION pos) { return reinterpret_cast<Node*>(pos); }
    static POSITION toPosition(Node* n) { return reinterpret_cast<POSITION>(n); }

    TYPE take(Node* n) {
        if (n == nullptr) return TYPE();
        (n->prev != nullptr ? n->prev->next : m_head) = n->next;
        (n->next != nullptr ? n->next->prev : m_tail) = n->prev;
        TYPE value = std::move(n->data);
        delete n;
        --m_count;
        return value;
    }

    TYPE& step(POSITION& pos, bool forward) {
        Node* n = node(pos);
        if (n == nullptr) return m_invalid;
        pos = toPosition(forward ? n->next : n->prev);
        return n->data;
    }

    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    INT_PTR m_count = 0;
    INT_PTR m_blockSize;
    TYPE m_invalid{};
};

class CObList : public CList<CObject*, CObject*> {
public:
    explicit CObList(INT_PTR blockSize = 10) : CList(blockSize) {}
};

class CStringList : public CList<CString, const CString&> {
public:
    explicit CStringList(INT_PTR blockSize = 10) : CList(blockSize) {}
};

template <class TYPE, class ARG_TYPE = const TYPE&> class CArray : public CObject {
public:
    CArray() = default;
    CArray(const CArray&) = delete;
    CArray& operator=(const CArray&) = delete;

    INT_PTR GetSize() const { return static_cast<INT_PTR>(m_data.size()); }
    INT_PTR GetCount() const { return GetSize(); }
    INT_PTR GetUpperBound() const { return GetSize() - 1; }
    BOOL IsEmpty() const { return m_data.empty() ? TRUE : FALSE; }
    // A negative size empties the array; growBy -1 keeps the present step.
    void SetSize(INT_PTR size, INT_PTR growBy = -1) {
        if (growBy >= 0) m_growBy = growBy;
        m_data.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    }
    void RemoveAll() { m_data.clear(); }
    void FreeExtra() { m_data.shrink_to_fit(); }

    TYPE GetAt(INT_PTR i) const { return valid(i) ? m_data[static_cast<std::size_t>(i)] : TYPE(); }
    void SetAt(INT_PTR i, ARG_TYPE value) {
        if (valid(i)) m_data[static_cast<std::size_t>(i)] = value;
    }
    TYPE& ElementAt(INT_PTR i) {
        return valid(i) ? m_data[static_cast<std::size_t>(i)] : m_invalid;
    }
    TYPE& operator[](INT_PTR i) { return ElementAt(i); }
    TYPE operator[](INT_PTR i) const { return GetAt(i); }
    TYPE* GetData() { return m_data.empty() ? nullptr : m_data.data(); }
    const TYPE* GetData() const { return m_data.empty() ? nullptr : m_data.data(); }

    INT_PTR Add(ARG_TYPE value) {
        m_data.push_back(value);
        return GetUpperBound();
    }
    INT_PTR Append(const CArray& other) {
        INT_PTR first = GetSize();
        m_data.insert(m_data.end(), other.m_data.begin(), other.m_data.end());
        return first;
    }
    void Copy(const CArray& other) {
        if (&other != this) m_data = other.m_data;
    }
    void SetAtGrow(INT_PTR i, ARG_TYPE value) {
        if (i < 0) return;
        if (i >= GetSize()) SetSize(i + 1);
        m_data[static_cast<std::size_t>(i)] = value;
    }
    void InsertAt(INT_PTR i, ARG_TYPE value, INT_PTR count = 1) {
        if (i < 0 || count <= 0) return;
        if (i > GetSize()) SetSize(i);
        m_data.insert(m_data.begin() + i, static_cast<std::size_t>(count), value);
    }
    void RemoveAt(INT_PTR i, INT_PTR count = 1) {
        if (!valid(i) || count <= 0) return;
        INT_PTR end = i + count < GetSize() ? i + count : GetSize();
        m_data.erase(m_data.begin() + i, m_data.begin() + end);
    }

private:
    bool valid(INT_PTR i) const { return i >= 0 && i < GetSize(); }

    std::vector<TYPE> m_data;
    INT_PTR m_growBy = 0;
    TYPE m_invalid{};
};

class CDWordArray : public CArray<DWORD, DWORD> {};
