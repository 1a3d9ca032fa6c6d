#include "services/EventsTracker.h"

#include "services/EventRequest.h"
#include "support/HttpReading.h"
#include "support/LoopbackHttpServer.h"
#include "support/ScopedInternetProxy.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>

namespace {

const char kService[] = "events.kelvara.example";

std::string Narrow(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], size, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(size) - 1);
    return utf8;
}

// The text between <name xsi:type="xsd:string"> and </name>.
std::string Element(const std::string& body, const std::string& name)
{
    const std::string open = "<" + name + " xsi:type=\"xsd:string\">";
    const size_t begin = body.find(open);
    const size_t end = body.find("</" + name + ">");
    if (begin == std::string::npos || end == std::string::npos) return "";
    return body.substr(begin + open.size(), end - begin - open.size());
}

class EventsTrackerTest : public ::testing::Test {
protected:
    EventsTrackerTest()
    {
        LoopbackHttpServer::Response answer;
        answer.headers = {{"Content-Type", "text/xml; charset=utf-8"}};
        answer.body = "<ok/>";
        server.Respond(kService, "/WebService.php", answer);
    }

    // Sends and returns the failure's message, or "" on success.
    std::wstring Send(const std::wstring& category, const std::wstring& data)
    {
        try {
            tracker.SendEvent(category.c_str(), data.c_str());
            return L"";
        } catch (CException* e) {
            CExceptionPtr guard(e);
            return ErrorMessageOf(*e);
        }
    }

    LoopbackHttpServer server;
    ScopedInternetProxy proxy{server.Port()};
    CEventsTracker tracker;
};

TEST_F(EventsTrackerTest, RequestIsByteExact)
{
    ASSERT_EQ(L"", Send(L"Installer started", L""));
    const auto requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    const auto& request = requests[0];
    EXPECT_EQ("POST", request.method);
    EXPECT_EQ(kService, request.host);
    EXPECT_EQ("/WebService.php", request.path);
    EXPECT_EQ("HTTP/1.1", request.version);
    EXPECT_EQ("text/xml; charset=utf-8", request.Header("Content-Type"));
    EXPECT_EQ("\"urn:EventsTrackerAction\"", request.Header("SOAPAction"));
    EXPECT_EQ("identity", request.Header("Accept-Encoding"));
    EXPECT_EQ("Kelvara Events Tracker", request.Header("User-Agent"));
    EXPECT_EQ(std::to_string(request.body.size()), request.Header("Content-Length"));

    const std::string txnId = Element(request.body, "txnid");
    const std::string mac = Element(request.body, "mac");
    EXPECT_TRUE(std::regex_match(txnId, std::regex("[0-9A-F]{20}"))) << txnId;
    EXPECT_TRUE(std::regex_match(mac, std::regex("[0-9a-f]{40}"))) << mac;
    EXPECT_EQ("<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">"
              "<s:Body s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\" "
              "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"
              "<q1:AddEvent xmlns:q1=\"urn:EventsTracker\"><source xsi:type=\"xsd:string\">Lantern Rise</source>"
              "<category xsi:type=\"xsd:string\">Installer started</category>"
              "<data xsi:type=\"xsd:string\"></data>"
              "<txnid xsi:type=\"xsd:string\">" + txnId + "</txnid><mac xsi:type=\"xsd:string\">" + mac +
              "</mac></q1:AddEvent></s:Body></s:Envelope>",
              request.body);

    CString expectedMac;
    tracker.ComputeMac(CString(std::wstring(txnId.begin(), txnId.end())), expectedMac);
    EXPECT_EQ(mac, Narrow(expectedMac.GetString()));
}

TEST_F(EventsTrackerTest, MacIsSha1OfTransactionIdAndKey)
{
    CString mac;
    tracker.ComputeMac(L"0123456789ABCDEF0123", mac);
    EXPECT_EQ(L"88ea81db3cde453495a3569abb6897a2b5825971", std::wstring(mac));

    std::set<std::wstring> seen;
    for (int i = 0; i < 50; ++i) {
        CString txnId;
        tracker.GenerateTxnId(txnId);
        EXPECT_TRUE(std::regex_match(std::wstring(txnId), std::wregex(L"[0-9A-F]{20}")));
        EXPECT_TRUE(seen.insert(std::wstring(txnId)).second);
    }
}

TEST_F(EventsTrackerTest, TextLimitsAreCheckedBeforeAnythingIsSent)
{
    const struct {
        std::wstring category, data, failure;
    } cases[] = {
        {std::wstring(50, L'c'), L"", L""},
        {std::wstring(51, L'c'), L"", L"Event category string can not be longer than 50 characters."},
        {L"Data", std::wstring(1024, L'd'), L""},
        {L"Data", std::wstring(1025, L'd'), L"Event data string can not be longer than 1024 characters."},
        {L"Data", std::wstring(1024, L'\u00e9'), L""},
    };
    size_t sent = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(c.failure, Send(c.category, c.data));
        if (c.failure.empty()) ++sent;
        EXPECT_EQ(sent, server.Requests().size());
    }
    // Lengths count UTF-16 code units: 512 surrogate pairs fill the limit.
    std::wstring pairs;
    for (int i = 0; i < 512; ++i) pairs += L"\U0001F56F";
    EXPECT_EQ(L"", Send(L"Data", pairs));
    EXPECT_EQ(L"Event data string can not be longer than 1024 characters.", Send(L"Data", pairs + L"x"));
}

TEST_F(EventsTrackerTest, NullTextsAreRejected)
{
    try {
        tracker.SendEvent(nullptr, L"");
        FAIL();
    } catch (CException* e) {
        CExceptionPtr guard(e);
        EXPECT_EQ(L"Event category string can not be null.", ErrorMessageOf(*e));
    }
    try {
        tracker.SendEvent(L"Category", nullptr);
        FAIL();
    } catch (CException* e) {
        CExceptionPtr guard(e);
        EXPECT_EQ(L"Event data string can not be null.", ErrorMessageOf(*e));
    }
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(EventsTrackerTest, MarkupAndNonAsciiTextsTravelSafely)
{
    ASSERT_EQ(L"", Send(L"Tom & Jerry <cat>", L"Gr\u00f6\u00dfe \u20ac 5 > 4 & \U0001F56F"));
    const std::string body = server.Requests().at(0).body;
    EXPECT_EQ("Tom &amp; Jerry &lt;cat&gt;", Element(body, "category"));
    EXPECT_EQ("Gr\xc3\xb6\xc3\x9f" "e \xe2\x82\xac 5 &gt; 4 &amp; \xf0\x9f\x95\xaf", Element(body, "data"));
    EXPECT_EQ(std::wstring(L"a&amp;b&lt;&gt;c\u00e9"), std::wstring(EscapeXmlText(L"a&b<>c\u00e9")));
}

TEST_F(EventsTrackerTest, AnErrorAnswerCountsAsSent)
{
    LoopbackHttpServer::Response fault;
    fault.status = 500;
    fault.body = "<soap:Fault/>";
    server.Respond(kService, "/WebService.php", fault);
    EXPECT_EQ(L"", Send(L"Installer started", L""));
    EXPECT_EQ(L"", Send(L"Installer exited", L""));
    EXPECT_EQ(2u, server.Requests().size());
}

TEST_F(EventsTrackerTest, GivesUpAfterTwoSendsWithoutAnAnswer)
{
    server.RefuseConnections(true);
    EXPECT_NE(L"", Send(L"First", L""));
    EXPECT_NE(L"", Send(L"Second", L""));
    server.RefuseConnections(false);
    EXPECT_EQ(L"", Send(L"Third", L""));
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(EventsTrackerTest, AnAnswerInBetweenKeepsTheTrackerGoing)
{
    server.RefuseConnections(true);
    EXPECT_NE(L"", Send(L"First", L""));
    server.RefuseConnections(false);
    EXPECT_EQ(L"", Send(L"Second", L""));
    server.RefuseConnections(true);
    EXPECT_NE(L"", Send(L"Third", L""));
    server.RefuseConnections(false);
    EXPECT_EQ(L"", Send(L"Fourth", L""));
    EXPECT_EQ(2u, server.Requests().size());
}

TEST_F(EventsTrackerTest, AServiceThatNeverAnswersCostsAtMostTheDeadlineTwice)
{
    LoopbackHttpServer::Response silence;
    silence.neverAnswer = true;
    server.Respond(kService, "/WebService.php", silence);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(L"", Send(L"First", L""));
    EXPECT_NE(L"", Send(L"Second", L""));
    EXPECT_EQ(L"", Send(L"Third", L""));
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_LT(elapsed.count(), 2 * CEventsTracker::kSendDeadlineMilliseconds + 1500);
    EXPECT_EQ(2u, server.Requests().size());
}

}  // namespace
