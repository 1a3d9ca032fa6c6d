#include "services/XmlDocument.h"

#include "framework/ComPtr.h"
#include "framework/Exception.h"
#include "framework/File.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Namespaced elements, near-miss names and nesting, as in a ClickOnce application manifest.
const char kManifest[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" xmlns:asmv2=\"urn:schemas-microsoft-com:asm.v2\">\n"
    "  <file name=\"a.dll\" size=\"12\" empty=\"\"/>\n"
    "  <files name=\"plural\"/>\n"
    "  <File name=\"capital\"/>\n"
    "  <dependency>\n"
    "    <file name=\"b.dll\">\n"
    "      <file name=\"c.dll\"/>\n"
    "    </file>\n"
    "  </dependency>\n"
    "  <asmv2:file name=\"prefixed\"/>\n"
    "  <filename name=\"longer\"/>\n"
    "  <file name=\"d.dll\"/>\n"
    "</assembly>\n";

const wchar_t kParseFailureFormat[] = L"Can not parse application manifest XML file. %s";

std::wstring ThrownMessage(const std::function<void()>& action)
{
    try {
        action();
    } catch (CException* e) {
        CExceptionPtr guard(e);
        wchar_t buffer[1024] = {};
        e->GetErrorMessage(buffer, 1024);
        return buffer;
    }
    return L"(nothing thrown)";
}

class XmlDocumentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const HRESULT result = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_TRUE(SUCCEEDED(result));
        m_comInitialized = true;
    }
    void TearDown() override
    {
        if (m_comInitialized) ::CoUninitialize();
    }

    std::wstring WriteFile(LPCWSTR name, const std::string& content)
    {
        const std::wstring path = m_folder.File(name);
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
        file.Write(content.data(), static_cast<UINT>(content.size()));
        return path;
    }

    void LoadManifest(CComPtr<IXMLDOMDocument2>& document)
    {
        const std::wstring path = WriteFile(L"app.manifest", kManifest);
        document.Attach(LoadXmlDocument(path.c_str(), kParseFailureFormat));
        ASSERT_NE(nullptr, document.Get());
    }

    static std::vector<std::wstring> NamesOf(const CXmlElementList& elements)
    {
        std::vector<std::wstring> names;
        for (INT_PTR i = 0; i < elements.GetSize(); ++i) {
            CString name;
            GetAttributeText(elements[i], L"name", name);
            names.emplace_back(name.GetString());
        }
        return names;
    }

    TemporaryFolder m_folder;

private:
    bool m_comInitialized = false;
};

TEST_F(XmlDocumentTest, UnreadableDocumentThrowsTheCallersFormatWithTheParsersReason)
{
    struct Case {
        const char* what;
        std::wstring path;
    };
    const Case cases[] = {
        {"malformed", WriteFile(L"broken.xml", "<assembly><file name=\"a\"></assembly>")},
        {"missing", m_folder.File(L"absent.xml")},
    };
    const std::wstring prefix = L"Can not parse application manifest XML file. ";
    for (const Case& c : cases) {
        const std::wstring message = ThrownMessage([&] { LoadXmlDocument(c.path.c_str(), kParseFailureFormat); });
        EXPECT_EQ(prefix, message.substr(0, prefix.size())) << c.what;
        EXPECT_GT(message.size(), prefix.size()) << c.what << ": the reason is missing";
    }
}

TEST_F(XmlDocumentTest, FindsOnlyExactQualifiedNamesInDocumentOrder)
{
    CComPtr<IXMLDOMDocument2> document;
    ASSERT_NO_FATAL_FAILURE(LoadManifest(document));

    struct Case {
        LPCWSTR name;
        std::vector<std::wstring> expected;
    };
    const Case cases[] = {
        {L"file", {L"a.dll", L"b.dll", L"c.dll", L"d.dll"}},
        {L"asmv2:file", {L"prefixed"}},
        {L"fil", {}},
        {L"deploymentProvider", {}},
    };
    for (const Case& c : cases) {
        CXmlElementList elements;
        GetElementsByName(document, c.name, elements.Elements());
        EXPECT_EQ(c.expected, NamesOf(elements)) << "searching for " << c.name;
    }
}

TEST_F(XmlDocumentTest, AttributeTextAbsentEmptyAndPresent)
{
    CComPtr<IXMLDOMDocument2> document;
    ASSERT_NO_FATAL_FAILURE(LoadManifest(document));
    CXmlElementList elements;
    GetElementsByName(document, L"file", elements.Elements());
    ASSERT_GT(elements.GetSize(), 0);
    IXMLDOMElement* first = elements[0];

    CString text = L"untouched";
    EXPECT_EQ(L"Can not get XML attribute value.",
              ThrownMessage([&] { GetAttributeText(first, L"codebase", text); }));
    EXPECT_EQ(L"Can not get XML attribute value.", ThrownMessage([&] { GetAttributeText(first, L"Size", text); }))
        << "attribute names are case-sensitive";

    GetAttributeText(first, L"empty", text);
    EXPECT_EQ(L"", text.Str());
    GetAttributeText(first, L"size", text);
    EXPECT_EQ(L"12", text.Str());
}

// MSXML's AddRef and Release return the object's count, which shows how many references the
// list gave up.
TEST_F(XmlDocumentTest, ReleasingAListReleasesEachElementExactlyOnce)
{
    CComPtr<IXMLDOMDocument2> document;
    ASSERT_NO_FATAL_FAILURE(LoadManifest(document));

    for (const bool deleteList : {true, false}) {
        auto* list = new CXmlElementArray;
        GetElementsByName(document, L"file", *list);
        ASSERT_EQ(4, list->GetSize());
        std::vector<IXMLDOMElement*> kept;
        std::vector<ULONG> countsWithOurs;
        for (INT_PTR i = 0; i < list->GetSize(); ++i) {
            kept.push_back(list->GetAt(i));
            countsWithOurs.push_back(kept.back()->AddRef());
        }

        ReleaseElements(list, deleteList);
        if (!deleteList) {
            EXPECT_EQ(0, list->GetSize());
            delete list;
        }
        for (size_t i = 0; i < kept.size(); ++i)
            EXPECT_EQ(countsWithOurs[i] - 2, kept[i]->Release()) << "element " << i << ", deleteList " << deleteList;
    }
}

TEST_F(XmlDocumentTest, ElementListOwnerReleasesAtTheEndOfItsScope)
{
    CComPtr<IXMLDOMDocument2> document;
    ASSERT_NO_FATAL_FAILURE(LoadManifest(document));

    IXMLDOMElement* kept = nullptr;
    ULONG countWithOurs = 0;
    {
        CXmlElementList elements;
        GetElementsByName(document, L"asmv2:file", elements.Elements());
        ASSERT_EQ(1, elements.GetSize());
        kept = elements[0];
        countWithOurs = kept->AddRef();
    }
    EXPECT_EQ(countWithOurs - 2, kept->Release());
}

}  // namespace
