// Owners for COM interface pointers, system strings (BSTR) and VARIANTs, so that every
// reference and string is released on every path, exceptions included.
#pragma once

#include "framework/Afx.h"
#include "framework/Exception.h"

#include <oleauto.h>
#include <unknwn.h>

// Holds one reference to a COM interface.
template <class T>
class CComPtr {
public:
    CComPtr() = default;
    ~CComPtr() { Release(); }
    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;

    // Takes over a reference the caller owns (no AddRef).
    void Attach(T* pointer)
    {
        Release();
        m_p = pointer;
    }
    // Gives up the reference without releasing it.
    T* Detach()
    {
        T* pointer = m_p;
        m_p = nullptr;
        return pointer;
    }
    void Release()
    {
        if (m_p) {
            T* pointer = m_p;
            m_p = nullptr;
            pointer->Release();
        }
    }

    T* Get() const { return m_p; }
    operator T*() const { return m_p; }   // NOLINT: passes where the interface is expected
    T* operator->() const { return m_p; }
    // For out parameters: the reference held so far is released first.
    T** operator&()
    {
        Release();
        return &m_p;
    }

private:
    T* m_p = nullptr;
};

// Owns a system string.
class CComBSTR {
public:
    CComBSTR() = default;
    // Copies the text; running out of memory throws the framework's CMemoryException.
    explicit CComBSTR(LPCWSTR text)
    {
        if (!text) return;
        m_str = ::SysAllocString(text);
        if (!m_str) AfxThrowMemoryException();
    }
    ~CComBSTR() { ::SysFreeString(m_str); }
    CComBSTR(const CComBSTR&) = delete;
    CComBSTR& operator=(const CComBSTR&) = delete;

    operator BSTR() const { return m_str; }   // NOLINT: passes where a BSTR is expected
    // Characters, embedded nulls included.
    UINT Length() const { return ::SysStringLen(m_str); }
    // For out parameters: the string held so far is freed first.
    BSTR* operator&()
    {
        ::SysFreeString(m_str);
        m_str = nullptr;
        return &m_str;
    }

private:
    BSTR m_str = nullptr;
};

// Owns a VARIANT: cleared on destruction, whatever it holds.
class CComVariant : public VARIANT {
public:
    CComVariant() { ::VariantInit(this); }
    // A VT_BSTR copy of the text; running out of memory throws the framework's CMemoryException.
    explicit CComVariant(LPCWSTR text)
    {
        ::VariantInit(this);
        bstrVal = ::SysAllocString(text ? text : L"");
        if (!bstrVal) AfxThrowMemoryException();
        vt = VT_BSTR;
    }
    ~CComVariant() { ::VariantClear(this); }
    CComVariant(const CComVariant&) = delete;
    CComVariant& operator=(const CComVariant&) = delete;
};
