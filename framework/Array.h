// CArray and its two common instances, over std::vector. Allocation failures are thrown
// as the framework's CMemoryException, like every other framework failure.
#pragma once

#include "framework/Afx.h"
#include "framework/Exception.h"

#include <new>
#include <vector>

template <class TYPE, class ARG_TYPE = const TYPE&>
class CArray {
public:
    INT_PTR GetSize() const { return static_cast<INT_PTR>(m_items.size()); }
    INT_PTR GetCount() const { return GetSize(); }
    bool IsEmpty() const { return m_items.empty(); }

    // Grows with value-initialised (zero) elements or shrinks to the size.
    void SetSize(INT_PTR newSize)
    {
        try {
            m_items.resize(static_cast<size_t>(newSize));
        } catch (const std::bad_alloc&) {
            AfxThrowMemoryException();
        }
    }

    INT_PTR Add(ARG_TYPE item)
    {
        try {
            m_items.push_back(item);
        } catch (const std::bad_alloc&) {
            AfxThrowMemoryException();
        }
        return GetSize() - 1;
    }

    void RemoveAll() { std::vector<TYPE>().swap(m_items); }
    void RemoveAt(INT_PTR index) { m_items.erase(m_items.begin() + index); }
    void SetAt(INT_PTR index, ARG_TYPE item) { m_items.at(static_cast<size_t>(index)) = item; }

    const TYPE& GetAt(INT_PTR index) const { return m_items.at(static_cast<size_t>(index)); }
    TYPE& ElementAt(INT_PTR index) { return m_items.at(static_cast<size_t>(index)); }
    const TYPE& operator[](INT_PTR index) const { return GetAt(index); }
    TYPE& operator[](INT_PTR index) { return ElementAt(index); }

    TYPE* GetData() { return m_items.data(); }
    const TYPE* GetData() const { return m_items.data(); }

private:
    std::vector<TYPE> m_items;
};

using CByteArray = CArray<BYTE, BYTE>;
using CPtrArray = CArray<void*, void*>;
