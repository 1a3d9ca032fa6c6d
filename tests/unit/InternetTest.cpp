// The framework's WinINet classes against a local server. Sessions here connect directly;
// the proxy path is covered with the server's own tests.
#include "framework/Internet.h"
#include "support/HttpReading.h"
#include "support/LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Response = LoopbackHttpServer::Response;

class CInternetSessionTest : public ::testing::Test {
protected:
    LoopbackHttpServer server;
    CInternetSession session{L"Fetchwright unit tests", 1, INTERNET_OPEN_TYPE_DIRECT};

    std::unique_ptr<CHttpFile> Get(const std::string& path)
    {
        return std::unique_ptr<CHttpFile>(session.OpenURL(server.Url(path).c_str(), 1,
                                                          INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE));
    }
};

TEST_F(CInternetSessionTest, OpenUrlReadsABodyLargerThanOneReadWithItsLength)
{
    Response response;
    response.headers = {{"Content-Type", "application/octet-stream"}};
    response.body = BinaryPattern(300001);
    server.Respond("/software/big.bin", response);

    auto file = Get("/software/big.bin");
    DWORD status = 0, length = 0;
    ASSERT_TRUE(file->QueryInfoStatusCode(status));
    EXPECT_EQ(200u, status);
    ASSERT_TRUE(file->QueryInfo(HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, length));
    EXPECT_EQ(response.body.size(), length);
    EXPECT_GT(file->GetLength(), 0u);
    EXPECT_TRUE(ReadToEnd(*file, 65536) == response.body);

    const auto requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("/software/big.bin", requests[0].path);
}

TEST_F(CInternetSessionTest, WithoutContentLengthTheLengthQueryFailsAndTheBodyEndsAtTheClose)
{
    Response response;
    response.body = BinaryPattern(70000);
    response.sendContentLength = false;
    server.Respond("/stream", response);

    auto file = Get("/stream");
    DWORD length = 0;
    EXPECT_FALSE(file->QueryInfo(HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, length));
    EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_HEADER_NOT_FOUND), ::GetLastError());
    EXPECT_TRUE(ReadToEnd(*file) == response.body);
}

TEST_F(CInternetSessionTest, AnErrorStatusIsReadableLikeAnyResponse)
{
    Response response;
    response.status = 404;
    response.body = "<html>gone</html>";
    server.Respond("/missing.html", response);

    auto file = Get("/missing.html");
    DWORD status = 0;
    ASSERT_TRUE(file->QueryInfoStatusCode(status));
    EXPECT_EQ(404u, status);
    EXPECT_EQ(response.body, ReadToEnd(*file));
}

TEST_F(CInternetSessionTest, PostArrivesByteExactWithItsHeaders)
{
    Response response;
    response.body = "OK";
    server.Respond("/WebService.php", response);
    const std::string body = std::string("event=start&data=") + std::string("\0\r\n\xff&=%20", 8) + BinaryPattern(5000);

    std::unique_ptr<CHttpConnection> connection(session.GetHttpConnection(L"127.0.0.1", server.Port()));
    std::unique_ptr<CHttpFile> request(connection->OpenRequest(HTTP_VERB_POST, L"/WebService.php"));
    EXPECT_TRUE(request->AddRequestHeaders(L"Content-Type: application/x-www-form-urlencoded\r\n"));
    std::string sent = body;
    request->SendRequest(L"X-Fetchwright-Test: 1\r\n", static_cast<DWORD>(-1), &sent[0], static_cast<DWORD>(sent.size()));
    DWORD status = 0;
    ASSERT_TRUE(request->QueryInfoStatusCode(status));
    EXPECT_EQ(200u, status);
    EXPECT_EQ("OK", ReadToEnd(*request));

    const auto requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    const auto& received = requests[0];
    EXPECT_EQ(0u, received.head.find("POST /WebService.php HTTP/1.1\r\n")) << received.head;
    EXPECT_NE(std::string::npos, received.head.find("\r\nX-Fetchwright-Test: 1\r\n")) << received.head;
    EXPECT_TRUE(received.body == body) << "received " << received.body.size() << " of " << body.size() << " bytes";
    EXPECT_EQ("application/x-www-form-urlencoded", received.Header("Content-Type"));
    EXPECT_EQ(std::to_string(body.size()), received.Header("Content-Length"));
}

// A refused connection: the framework's Internet exception with its code and a message.
void ExpectCannotConnect(CException* e)
{
    CExceptionPtr guard(e);
    auto* error = dynamic_cast<CInternetException*>(e);
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT), error->m_dwError);
    EXPECT_FALSE(ErrorMessageOf(*error).empty());
}

TEST_F(CInternetSessionTest, ARefusedConnectionThrowsWithAMessage)
{
    const uint16_t closedPort = LoopbackHttpServer::ClosedPort();
    const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(closedPort) + L"/file.bin";
    try {
        std::unique_ptr<CHttpFile> file(session.OpenURL(url.c_str()));
        FAIL() << "OpenURL succeeded";
    } catch (CException* e) {
        ExpectCannotConnect(e);
    }

    // Through a connection the failure comes with SendRequest: InternetConnect does not connect.
    std::unique_ptr<CHttpConnection> connection(session.GetHttpConnection(L"127.0.0.1", closedPort));
    std::unique_ptr<CHttpFile> request(connection->OpenRequest(HTTP_VERB_GET, L"/file.bin"));
    try {
        request->SendRequest();
        FAIL() << "SendRequest succeeded";
    } catch (CException* e) {
        ExpectCannotConnect(e);
    }
}

TEST(CInternetException, MessageFallsBackToTheCode)
{
    const CInternetException known(ERROR_INTERNET_TIMEOUT);
    EXPECT_FALSE(ErrorMessageOf(known).empty());
    const CInternetException unknown(0xE0001234);
    EXPECT_EQ(L"An Internet error occurred. Error code: 3758101044.", ErrorMessageOf(unknown));
}

}  // namespace
