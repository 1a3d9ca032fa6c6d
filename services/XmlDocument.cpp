#include "services/XmlDocument.h"

#include "framework/ComPtr.h"
#include "services/InstallerException.h"

#include <cwchar>

namespace {

// MSXML 6 identifiers; the toolchain's headers declare the interfaces but no library
// defines these values.
const CLSID kClsidDomDocument60 = {0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
const IID kIidXmlDomDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidXmlDomElement = {0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// Only S_OK counts: MSXML answers S_FALSE with no result for a missing item or attribute.
void Check(HRESULT result, LPCWSTR failureMessage)
{
    if (result != S_OK) ThrowInstallerException(failureMessage);
}

// The same for a call that hands out an interface: success must come with one.
void Check(HRESULT result, const IUnknown* received, LPCWSTR failureMessage)
{
    if (result != S_OK || !received) ThrowInstallerException(failureMessage);
}

// Whole-string, case-sensitive comparison; a node name carries its namespace prefix.
bool NameEquals(const CComBSTR& nodeName, LPCWSTR name)
{
    const size_t length = std::wcslen(name);
    return nodeName.Length() == length && std::wmemcmp(static_cast<BSTR>(nodeName), name, length) == 0;
}

[[noreturn]] void ThrowParseFailure(IXMLDOMDocument2* document, LPCWSTR parseFailureFormat)
{
    CString message;
    {
        CComPtr<IXMLDOMParseError> parseError;
        const HRESULT result = document->get_parseError(&parseError);
        Check(result, parseError, L"Can not get XML parse error.");
        CComBSTR reason;
        Check(parseError->get_reason(&reason), L"Can not get XML parse error reason.");
        message.Format(parseFailureFormat, static_cast<LPCWSTR>(CString(reason, static_cast<int>(reason.Length()))));
    }
    ThrowInstallerException(message);
}

}  // namespace

IXMLDOMDocument2* LoadXmlDocument(LPCWSTR path, LPCWSTR parseFailureFormat)
{
    CComPtr<IXMLDOMDocument2> document;
    const HRESULT created = ::CoCreateInstance(kClsidDomDocument60, nullptr, CLSCTX_INPROC_SERVER,
                                               kIidXmlDomDocument2, reinterpret_cast<void**>(&document));
    Check(created, document, L"Can not create XML document.");
    Check(document->put_async(VARIANT_FALSE), L"Can not disable XML document asynchronous download requests.");
    Check(document->put_validateOnParse(VARIANT_FALSE), L"Can not disable XML document validation.");
    Check(document->put_resolveExternals(VARIANT_FALSE),
          L"Can not disable XML document external definitions resolution.");

    // Only the success flag decides: a missing file and a malformed one both leave it false
    // and are explained by the parse error.
    CComVariant source(path);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    document->load(source, &loaded);
    if (loaded == VARIANT_FALSE) ThrowParseFailure(document, parseFailureFormat);
    return document.Detach();
}

void GetElementsByName(IXMLDOMDocument2* document, LPCWSTR name, CXmlElementArray& elements)
{
    ReleaseElements(&elements, false);
    try {
        CComBSTR everyElement(L"*");
        CComPtr<IXMLDOMNodeList> nodes;
        const HRESULT listed = document->getElementsByTagName(everyElement, &nodes);
        Check(listed, nodes, L"Can not get all XML nodes list.");
        long count = 0;
        Check(nodes->get_length(&count), L"Can not get all XML document nodes count.");

        for (long index = 0; index < count; ++index) {
            CComPtr<IXMLDOMNode> node;
            const HRESULT fetched = nodes->get_item(index, &node);
            Check(fetched, node, L"Can not get XML document node.");
            CComBSTR nodeName;
            Check(node->get_nodeName(&nodeName), L"Can not XML document node name.");
            if (!NameEquals(nodeName, name)) continue;

            CComPtr<IXMLDOMElement> element;
            const HRESULT converted = node->QueryInterface(kIidXmlDomElement, reinterpret_cast<void**>(&element));
            Check(converted, element, L"Can not convert XML document node to element.");
            elements.Add(element.Get());
            element.Detach();   // the list owns this reference now
        }
    } catch (CException*) {
        ReleaseElements(&elements, false);
        throw;
    }
}

void GetAttributeText(IXMLDOMElement* element, LPCWSTR name, CString& text)
{
    CComVariant value;
    {
        CComBSTR attributeName(name);
        Check(element->getAttribute(attributeName, &value), L"Can not get XML attribute value.");
    }
    if (value.vt != VT_BSTR) ThrowInstallerException(L"Can not interpret XML attribute value.");
    text = CString(value.bstrVal, static_cast<int>(::SysStringLen(value.bstrVal)));
}

void ReleaseElements(CXmlElementArray* elements, bool deleteList)
{
    if (!elements) return;
    for (INT_PTR index = 0; index < elements->GetSize(); ++index) {
        if (IXMLDOMElement* element = elements->GetAt(index)) element->Release();
    }
    if (deleteList)
        delete elements;
    else
        elements->RemoveAll();
}
