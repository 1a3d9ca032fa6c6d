// Winsock must come before <windows.h>, which the test support header does not pull in.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "support/LoopbackHttpServer.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace {

// Every blocking wait polls at this interval, so that stopping never waits on a peer.
constexpr long kPollMicroseconds = 20 * 1000;
constexpr size_t kChunk = 64 * 1024;

class OwnedSocket {
public:
    explicit OwnedSocket(SOCKET socket) : m_socket(socket) {}
    ~OwnedSocket()
    {
        if (m_socket != INVALID_SOCKET) ::closesocket(m_socket);
    }
    OwnedSocket(const OwnedSocket&) = delete;
    OwnedSocket& operator=(const OwnedSocket&) = delete;

    SOCKET Get() const { return m_socket; }
    SOCKET Release()
    {
        const SOCKET socket = m_socket;
        m_socket = INVALID_SOCKET;
        return socket;
    }

private:
    SOCKET m_socket;
};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch); });
    return text;
}

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string HostWithoutPort(const std::string& authority)
{
    return Lower(authority.substr(0, authority.find(':')));
}

const char* ReasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

bool ParseHead(const std::string& head, LoopbackHttpServer::Request& request)
{
    size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const size_t firstSpace = requestLine.find(' ');
    const size_t lastSpace = requestLine.rfind(' ');
    if (firstSpace == std::string::npos || lastSpace == firstSpace) return false;
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    request.version = requestLine.substr(lastSpace + 1);

    while (lineEnd != std::string::npos) {
        const size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        request.headers.emplace_back(line.substr(0, colon), Trim(line.substr(colon + 1)));
    }

    // A proxy request names the server in the target itself.
    const std::string scheme = "http://";
    if (Lower(request.target.substr(0, scheme.size())) == scheme) {
        const size_t pathStart = request.target.find('/', scheme.size());
        request.host = HostWithoutPort(request.target.substr(scheme.size(), pathStart - scheme.size()));
        request.path = pathStart == std::string::npos ? "/" : request.target.substr(pathStart);
    } else {
        request.host = HostWithoutPort(request.Header("Host"));
        request.path = request.target;
    }
    return true;
}

bool ClientWantsClose(const LoopbackHttpServer::Request& request)
{
    const std::string connection = Lower(request.Header("Connection"));
    if (connection.find("close") != std::string::npos) return true;
    return request.version == "HTTP/1.0" && connection.find("keep-alive") == std::string::npos;
}

}  // namespace

std::string LoopbackHttpServer::Request::Header(const std::string& name) const
{
    const std::string wanted = Lower(name);
    for (const auto& header : headers)
        if (Lower(header.first) == wanted) return header.second;
    return std::string();
}

LoopbackHttpServer::WinsockUser::WinsockUser()
{
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
}

LoopbackHttpServer::WinsockUser::~WinsockUser() { ::WSACleanup(); }

LoopbackHttpServer::LoopbackHttpServer()
{
    OwnedSocket listener(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (listener.Get() == INVALID_SOCKET) throw std::runtime_error("socket failed");
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int addressLength = sizeof(address);
    if (::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener.Get(), SOMAXCONN) != 0 ||
        ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &addressLength) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    m_port = ntohs(address.sin_port);
    m_listener = listener.Release();
    m_acceptThread = std::thread(&LoopbackHttpServer::AcceptLoop, this);
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_acceptThread.join();
    // The accept loop has ended, so no thread is added any more.
    for (auto& thread : m_connectionThreads) thread.join();
    ::closesocket(m_listener);
}

std::wstring LoopbackHttpServer::Url(const std::string& path) const
{
    const std::string url = "http://127.0.0.1:" + std::to_string(m_port) + path;
    return std::wstring(url.begin(), url.end());
}

void LoopbackHttpServer::Respond(const std::string& path, Response response)
{
    Respond(std::string(), path, std::move(response));
}

void LoopbackHttpServer::Respond(const std::string& host, const std::string& path, Response response)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_routes[{Lower(host), path}] = std::move(response);
}

void LoopbackHttpServer::RespondOnce(const std::string& path, Response response)
{
    RespondOnce(std::string(), path, std::move(response));
}

void LoopbackHttpServer::RespondOnce(const std::string& host, const std::string& path, Response response)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_onceRoutes[{Lower(host), path}].push_back(std::move(response));
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::Requests() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests;
}

int LoopbackHttpServer::ConnectionCount() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_connections;
}

bool LoopbackHttpServer::WaitForRequests(size_t count, unsigned timeoutMilliseconds) const
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMilliseconds),
                              [&] { return m_requests.size() >= count; });
}

uint16_t LoopbackHttpServer::ClosedPort()
{
    WinsockUser winsock;
    OwnedSocket probe(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int addressLength = sizeof(address);
    if (::bind(probe.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &addressLength) != 0)
        throw std::runtime_error("cannot bind a probe socket");
    // Bound but never listening; the port is free again once the socket closes.
    return ntohs(address.sin_port);
}

void LoopbackHttpServer::AcceptLoop()
{
    while (WaitReadable(m_listener)) {
        const SOCKET client = ::accept(m_listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        std::lock_guard<std::mutex> guard(m_lock);
        const int connection = ++m_connections;
        if (m_refuse) {
            ::closesocket(client);
            continue;
        }
        m_connectionThreads.emplace_back(&LoopbackHttpServer::Serve, this, client, connection);
    }
}

void LoopbackHttpServer::Serve(Socket rawClient, int connection)
{
    OwnedSocket client(rawClient);
    std::string pending;
    const auto receiveMore = [&] {
        char buffer[kChunk];
        if (!WaitReadable(client.Get())) return false;
        const int received = ::recv(client.Get(), buffer, sizeof(buffer), 0);
        if (received <= 0) return false;
        pending.append(buffer, static_cast<size_t>(received));
        return true;
    };

    for (;;) {
        size_t headEnd;
        while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos)
            if (!receiveMore()) return;
        Request request;
        request.connection = connection;
        request.head = pending.substr(0, headEnd + 2);
        if (!ParseHead(request.head, request)) return;
        pending.erase(0, headEnd + 4);
        const size_t bodyLength = std::strtoull(request.Header("Content-Length").c_str(), nullptr, 10);
        while (pending.size() < bodyLength)
            if (!receiveMore()) return;
        request.body = pending.substr(0, bodyLength);
        pending.erase(0, bodyLength);

        const Response response = Route(request);
        const bool keepAlive = response.sendContentLength && !ClientWantsClose(request);
        const bool hasBody = request.method != "HEAD";
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_requests.push_back(std::move(request));
        }
        m_changed.notify_all();

        if (response.closeAtOnce) return;
        if (response.neverAnswer) {
            while (receiveMore()) pending.clear();   // until the client gives up or the server stops
            return;
        }
        if (response.delayMilliseconds > 0 && !Pause(response.delayMilliseconds)) return;

        std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + ReasonPhrase(response.status) + "\r\n";
        for (const auto& header : response.headers) head += header.first + ": " + header.second + "\r\n";
        if (response.sendContentLength) head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
        if (!keepAlive) head += "Connection: close\r\n";
        head += "\r\n";
        const size_t bodyBytes = hasBody ? std::min(response.body.size(), response.dropAfterBodyBytes) : 0;
        if (!SendAll(client.Get(), head.data(), head.size()) || !SendAll(client.Get(), response.body.data(), bodyBytes))
            return;
        if (!keepAlive || bodyBytes < (hasBody ? response.body.size() : 0)) {
            ::shutdown(client.Get(), SD_SEND);   // an orderly end: the client reads all that was sent
            return;
        }
    }
}

LoopbackHttpServer::Response LoopbackHttpServer::Route(const Request& request)
{
    const std::string withoutQuery = request.path.substr(0, request.path.find('?'));
    const std::pair<std::string, std::string> keys[] = {
        {request.host, request.path}, {std::string(), request.path},
        {request.host, withoutQuery}, {std::string(), withoutQuery}};
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& key : keys) {
        const auto queued = m_onceRoutes.find(key);
        if (queued == m_onceRoutes.end() || queued->second.empty()) continue;
        Response response = std::move(queued->second.front());
        queued->second.pop_front();
        return response;
    }
    for (const auto& key : keys) {
        const auto found = m_routes.find(key);
        if (found != m_routes.end()) return found->second;
    }
    Response notFound;
    notFound.status = 404;
    notFound.headers = {{"Content-Type", "text/plain"}};
    notFound.body = "No route for " + request.path;
    return notFound;
}

bool LoopbackHttpServer::WaitReadable(Socket socket) const
{
    while (!m_stopping) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(static_cast<SOCKET>(socket), &readable);
        timeval interval = {0, kPollMicroseconds};
        const int ready = ::select(0, &readable, nullptr, nullptr, &interval);
        if (ready > 0) return true;
        if (ready < 0) return false;
    }
    return false;
}

bool LoopbackHttpServer::SendAll(Socket socket, const char* data, size_t length) const
{
    while (length > 0) {
        if (m_stopping) return false;
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(static_cast<SOCKET>(socket), &writable);
        timeval interval = {0, kPollMicroseconds};
        const int ready = ::select(0, nullptr, &writable, nullptr, &interval);
        if (ready < 0) return false;
        if (ready == 0) continue;
        const int sent = ::send(static_cast<SOCKET>(socket), data, static_cast<int>(std::min(length, kChunk)), 0);
        if (sent <= 0) return false;
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

bool LoopbackHttpServer::Pause(unsigned milliseconds) const
{
    std::unique_lock<std::mutex> lock(m_lock);
    return !m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return m_stopping.load(); });
}
