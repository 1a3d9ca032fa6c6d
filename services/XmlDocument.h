// Reading the ClickOnce manifests through MSXML 6. Every failure of the XML component is
// thrown as CInstallerException with a fixed message.
#pragma once

#include "framework/Array.h"
#include "framework/String.h"

#include <msxml2.h>

using CXmlElementArray = CArray<IXMLDOMElement*, IXMLDOMElement* const&>;

// Loads a file with async loading, validation and external resolution switched off. The
// caller owns the returned reference. A document that does not parse throws with
// parseFailureFormat filled with the parser's reason.
IXMLDOMDocument2* LoadXmlDocument(LPCWSTR path, LPCWSTR parseFailureFormat);

// Every element whose node name (prefix included) equals name exactly, in document order.
// The list takes one reference per element.
void GetElementsByName(IXMLDOMDocument2* document, LPCWSTR name, CXmlElementArray& elements);

// The attribute's text; throws "Can not get XML attribute value." when it is missing and
// "Can not interpret XML attribute value." when it is not text.
void GetAttributeText(IXMLDOMElement* element, LPCWSTR name, CString& text);

// Releases every element reference; deletes the list (allocated with new) when asked,
// otherwise empties it.
void ReleaseElements(CXmlElementArray* elements, bool deleteList);

// Owns an element list: releases every element it holds when it goes out of scope.
class CXmlElementList {
public:
    CXmlElementList() = default;
    ~CXmlElementList() { ReleaseElements(&m_elements, false); }
    CXmlElementList(const CXmlElementList&) = delete;
    CXmlElementList& operator=(const CXmlElementList&) = delete;

    // The list to fill (GetElementsByName) and read; it keeps owning what it holds.
    CXmlElementArray& Elements() { return m_elements; }
    INT_PTR GetSize() const { return m_elements.GetSize(); }
    IXMLDOMElement* operator[](INT_PTR index) const { return m_elements[index]; }

private:
    CXmlElementArray m_elements;
};
