// The test server's faults and its use as a proxy, seen through WinINet as the installer sees
// them. Where Wine's WinINet answers a fault differently from Windows, the assertion accepts
// both and says which is which.
#include "framework/Internet.h"
#include "framework/RegKey.h"
#include "support/HttpReading.h"
#include "support/LoopbackHttpServer.h"
#include "support/ScopedInternetProxy.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using Response = LoopbackHttpServer::Response;

struct Outcome {
    DWORD error = 0;   // CInternetException's code, 0 when nothing was thrown
    DWORD status = 0;
    std::string body;
    ULONGLONG milliseconds = 0;
};

class LoopbackHttpServerTest : public ::testing::Test {
protected:
    LoopbackHttpServer server;
    CInternetSession session{L"Fetchwright unit tests", 1, INTERNET_OPEN_TYPE_DIRECT};

    // GET through a connection, as the installer's downloads do; a receive timeout, when
    // given, is set on the request handle (the only place Wine honours it).
    Outcome Get(const std::string& path, DWORD receiveTimeout = 0)
    {
        Outcome outcome;
        const ULONGLONG start = ::GetTickCount64();
        try {
            std::unique_ptr<CHttpConnection> connection(session.GetHttpConnection(L"127.0.0.1", server.Port()));
            std::unique_ptr<CHttpFile> request(connection->OpenRequest(
                HTTP_VERB_GET, std::wstring(path.begin(), path.end()).c_str(), nullptr, 1, nullptr, nullptr,
                INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE));
            if (receiveTimeout) request->SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, receiveTimeout);
            request->SendRequest();
            request->QueryInfoStatusCode(outcome.status);
            outcome.body = ReadToEnd(*request);
        } catch (CException* e) {
            CExceptionPtr guard(e);
            const auto* error = dynamic_cast<CInternetException*>(e);
            outcome.error = error ? error->m_dwError : ~0u;
        }
        outcome.milliseconds = ::GetTickCount64() - start;
        return outcome;
    }
};

TEST_F(LoopbackHttpServerTest, KeepsTheConnectionAliveBetweenRequests)
{
    Response response;
    response.body = "again";
    server.Respond("/again", response);
    EXPECT_EQ("again", Get("/again").body);
    EXPECT_EQ("again", Get("/again").body);

    const auto requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(requests[0].connection, requests[1].connection);
    EXPECT_EQ(1, server.ConnectionCount());
}

TEST_F(LoopbackHttpServerTest, DelaysTheAnswer)
{
    Response response;
    response.body = "late";
    response.delayMilliseconds = 300;
    server.Respond("/late", response);
    const Outcome outcome = Get("/late");
    EXPECT_EQ("late", outcome.body);
    EXPECT_GE(outcome.milliseconds, 290u);
}

TEST_F(LoopbackHttpServerTest, ASilentServerEndsWithTheRequestsReceiveTimeout)
{
    Response response;
    response.neverAnswer = true;
    server.Respond("/silent", response);
    const Outcome outcome = Get("/silent", 400);
    // Windows reports ERROR_INTERNET_TIMEOUT; Wine reports ERROR_INTERNET_CONNECTION_ABORTED.
    EXPECT_TRUE(outcome.error == ERROR_INTERNET_TIMEOUT || outcome.error == ERROR_INTERNET_CONNECTION_ABORTED)
        << "error " << outcome.error;
    EXPECT_GE(outcome.milliseconds, 390u);
    EXPECT_LT(outcome.milliseconds, 10000u);
    EXPECT_TRUE(server.WaitForRequests(1, 1000));
}

TEST_F(LoopbackHttpServerTest, ADroppedConnectionCutsTheBodyShortOfItsLength)
{
    Response response;
    response.body = BinaryPattern(100000);
    response.dropAfterBodyBytes = 30000;
    server.Respond("/cut", response);
    const Outcome outcome = Get("/cut");
    // Wine's WinINet ends the body silently at the cut (reads return 0): only comparing
    // with Content-Length shows it.
    if (outcome.error == 0) {
        EXPECT_EQ(200u, outcome.status);
        EXPECT_TRUE(outcome.body == response.body.substr(0, 30000)) << "read " << outcome.body.size() << " bytes";
    }
}

TEST_F(LoopbackHttpServerTest, ClosingWithoutAnAnswerGivesNoResponse)
{
    Response response;
    response.closeAtOnce = true;
    server.Respond("/closed", response);
    const Outcome closedAfterRequest = Get("/closed");
    server.RefuseConnections(true);
    const Outcome refused = Get("/anything");

    // Windows fails the send; Wine's HttpSendRequest succeeds with status code 0 and no body.
    for (const Outcome& outcome : {closedAfterRequest, refused}) {
        if (outcome.error == 0) {
            EXPECT_EQ(0u, outcome.status);
            EXPECT_TRUE(outcome.body.empty());
        }
    }
    EXPECT_EQ(1u, server.Requests().size());
    EXPECT_EQ(2, server.ConnectionCount());
}

TEST_F(LoopbackHttpServerTest, AnswersAsTheProxyOfTheSessionMatchingHostAndPath)
{
    Response kelvara, other;
    kelvara.body = "from kelvara";
    other.body = "from another host";
    server.Respond("download.kelvara.example", "/software/a.txt", kelvara);
    server.Respond("other.example", "/software/a.txt", other);

    ScopedInternetProxy proxy(server.Port());
    CInternetSession proxied(L"Fetchwright unit tests");   // preconfigured access, as the installer opens it
    std::unique_ptr<CHttpFile> file(proxied.OpenURL(L"http://download.kelvara.example/software/a.txt"));
    EXPECT_EQ("from kelvara", ReadToEnd(*file));

    std::unique_ptr<CHttpConnection> connection(proxied.GetHttpConnection(L"events.kelvara.example"));
    std::unique_ptr<CHttpFile> post(connection->OpenRequest(HTTP_VERB_POST, L"/WebService.php?v=1"));
    char body[] = "event=start";
    post->SendRequest(nullptr, 0, body, sizeof(body) - 1);
    DWORD status = 0;
    post->QueryInfoStatusCode(status);
    EXPECT_EQ(404u, status);

    const auto requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("http://download.kelvara.example:80/software/a.txt", requests[0].target);
    EXPECT_EQ("download.kelvara.example", requests[0].host);
    EXPECT_EQ("/software/a.txt", requests[0].path);
    EXPECT_EQ("POST", requests[1].method);
    EXPECT_EQ("events.kelvara.example", requests[1].host);
    EXPECT_EQ("/WebService.php?v=1", requests[1].path);
    EXPECT_EQ("event=start", requests[1].body);
}

TEST(ScopedInternetProxy, RestoresThePreviousSettingsWhetherTheyExistedOrNot)
{
    struct Settings {
        DWORD enable = 12345;   // stays when the value is missing
        CString server = L"(missing)";
    };
    const auto read = [] {
        Settings settings;
        CRegKey key;
        if (key.Open(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                     KEY_READ) == ERROR_SUCCESS) {
            key.QueryDWORDValue(L"ProxyEnable", settings.enable);
            key.QueryStringValue(L"ProxyServer", settings.server);
        }
        return settings;
    };

    const Settings before = read();
    {
        ScopedInternetProxy outer(8123);
        {
            ScopedInternetProxy inner(8124);   // nesting in one thread: the turn is already ours
            EXPECT_EQ(CString(L"127.0.0.1:8124"), read().server);
        }
        const Settings restored = read();
        EXPECT_EQ(1u, restored.enable);
        EXPECT_EQ(CString(L"127.0.0.1:8123"), restored.server);
    }
    const Settings after = read();
    EXPECT_EQ(before.enable, after.enable);
    EXPECT_EQ(before.server, after.server);
}

}  // namespace
