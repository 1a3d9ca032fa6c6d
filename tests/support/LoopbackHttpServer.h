// A small HTTP/1.1 server on 127.0.0.1 for tests of the WinINet code. It runs in the test
// process on its own threads, answers canned responses per host and path, records every
// request exactly as it arrived, keeps connections alive, and can misbehave on purpose.
// It also serves as a proxy: an absolute target (GET http://host:80/path) is matched on
// its host and path.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class LoopbackHttpServer {
public:
    using Headers = std::vector<std::pair<std::string, std::string>>;
    static constexpr size_t kWholeBody = std::numeric_limits<size_t>::max();

    struct Response {
        int status = 200;
        Headers headers;                      // sent as given, after the status line
        std::string body;
        bool sendContentLength = true;        // without it the body ends when the connection closes
        // Faults.
        unsigned delayMilliseconds = 0;       // wait this long before answering
        bool neverAnswer = false;             // stay silent until the server stops
        size_t dropAfterBodyBytes = kWholeBody;   // close the connection after this many body bytes
        bool closeAtOnce = false;             // close the connection without answering
    };

    struct Request {
        int connection = 0;       // which connection it came on, counting from 1
        std::string head;         // request line and header lines exactly as received, up to the blank line
        std::string method, target, version;
        std::string host;         // from an absolute target or the Host header; lower case, no port
        std::string path;         // with the query
        Headers headers;          // in arrival order, as sent
        std::string body;
        // The first header of that name (case-insensitive), or "".
        std::string Header(const std::string& name) const;
    };

    // Listens on an ephemeral port at once; throws std::runtime_error when it cannot.
    LoopbackHttpServer();
    // Stops: every connection is closed and every thread joined.
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    uint16_t Port() const { return m_port; }
    // http://127.0.0.1:PORT followed by the path.
    std::wstring Url(const std::string& path) const;

    // A path includes its query; a route without a query also answers the path with any query.
    // Requests that match nothing get 404.
    void Respond(const std::string& path, Response response);
    void Respond(const std::string& host, const std::string& path, Response response);
    // The next matching request gets this answer instead of the standing one (a failure
    // before a success); several such answers are used once each, in the order given.
    void RespondOnce(const std::string& path, Response response);
    void RespondOnce(const std::string& host, const std::string& path, Response response);
    // Closes every new connection at once, before reading anything.
    void RefuseConnections(bool refuse) { m_refuse = refuse; }

    std::vector<Request> Requests() const;
    int ConnectionCount() const;
    // True once at least count requests have arrived.
    bool WaitForRequests(size_t count, unsigned timeoutMilliseconds) const;

    // A loopback port with no listener: connecting to it is refused.
    static uint16_t ClosedPort();

private:
    using Socket = uintptr_t;   // a Winsock SOCKET, kept out of this header so that it can follow <windows.h>

    void AcceptLoop();
    void Serve(Socket client, int connection);
    Response Route(const Request& request);
    bool WaitReadable(Socket socket) const;
    bool SendAll(Socket socket, const char* data, size_t length) const;
    // Waits for the time or until the server stops; false when it stopped.
    bool Pause(unsigned milliseconds) const;

    struct WinsockUser {
        WinsockUser();
        ~WinsockUser();
    } m_winsock;
    Socket m_listener = ~Socket(0);
    uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_refuse{false};

    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::map<std::pair<std::string, std::string>, Response> m_routes;   // (host or "", path)
    std::map<std::pair<std::string, std::string>, std::deque<Response>> m_onceRoutes;
    std::vector<Request> m_requests;
    int m_connections = 0;
    std::vector<std::thread> m_connectionThreads;
    std::thread m_acceptThread;
};
