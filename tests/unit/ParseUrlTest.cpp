#include "framework/Internet.h"

#include <gtest/gtest.h>

namespace {

TEST(AfxParseURL, SplitsHttpAndHttpsUrls)
{
    const struct {
        const wchar_t* url;
        DWORD service;
        const wchar_t* server;
        const wchar_t* object;
        INTERNET_PORT port;
    } cases[] = {
        {L"http://download.kelvara.example/software/LanternRise.application", AFX_INET_SERVICE_HTTP,
         L"download.kelvara.example", L"/software/LanternRise.application", 80},
        {L"http://127.0.0.1:8080/a/b.txt", AFX_INET_SERVICE_HTTP, L"127.0.0.1", L"/a/b.txt", 8080},
        {L"https://secure.kelvara.example/setup", AFX_INET_SERVICE_HTTPS, L"secure.kelvara.example", L"/setup", 443},
        {L"http://events.kelvara.example/WebService.php?event=start&id=7", AFX_INET_SERVICE_HTTP,
         L"events.kelvara.example", L"/WebService.php?event=start&id=7", 80},
        {L"http://kelvara.example", AFX_INET_SERVICE_HTTP, L"kelvara.example", L"/", 80},
    };
    for (const auto& c : cases) {
        DWORD service = 0;
        CString server, object;
        INTERNET_PORT port = 0;
        ASSERT_TRUE(AfxParseURL(c.url, service, server, object, port)) << c.url;
        EXPECT_EQ(c.service, service) << c.url;
        EXPECT_EQ(CString(c.server), server) << c.url;
        EXPECT_EQ(CString(c.object), object) << c.url;
        EXPECT_EQ(c.port, port) << c.url;
    }
    EXPECT_EQ(4107u, AFX_INET_SERVICE_HTTPS);
}

TEST(AfxParseURL, RejectsWhatIsNotAUrl)
{
    for (const wchar_t* url : {L"not a url", L"", L"http://", L"download.kelvara.example/file"}) {
        DWORD service = 0;
        CString server, object;
        INTERNET_PORT port = 0;
        EXPECT_FALSE(AfxParseURL(url, service, server, object, port)) << url;
        EXPECT_EQ(AFX_INET_SERVICE_UNK, service) << url;
    }
}

}  // namespace
