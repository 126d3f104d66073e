#pragma once
// A real HTTP server for one test: a listening socket on 127.0.0.1 (a port
// the system picks) and a thread that takes one connection at a time, reads
// the request head and hands it to the test's answer. The answer may send
// anything, slowly or never; it is told to stop (Stopping) when the server
// ends, so no test waits on a client that was given up on.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace update_test {

struct Request {
    std::string method;
    std::string target;
    std::map<std::string, std::string> headers; // names in lower case
    bool Has(const std::string& name) const { return headers.count(name) != 0; }
    std::string Header(const std::string& name) const {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

class LocalHttpServer;

// One accepted connection, as the answer sees it.
class Connection {
public:
    Connection(SOCKET s, LocalHttpServer& server) : m_s(s), m_server(server) {}
    bool Send(const std::string& bytes) {
        return ::send(m_s, bytes.data(), int(bytes.size()), 0) == int(bytes.size());
    }
    // Status line, Content-Length and the extra header lines, then body.
    bool Answer(int status, const std::string& body, const std::string& extraHeaders = "") {
        return Send("HTTP/1.1 " + std::to_string(status) + " Test\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body);
    }
    // Waits up to ms; false when the server is stopping.
    bool Pause(DWORD ms);

private:
    SOCKET m_s;
    LocalHttpServer& m_server;
};

class LocalHttpServer {
public:
    using Answer = std::function<void(Connection&, const Request&)>;

    explicit LocalHttpServer(Answer answer) : m_answer(std::move(answer)) {
        WSADATA wsa;
        ::WSAStartup(MAKEWORD(2, 2), &wsa);
        m_listen = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        int len = sizeof addr;
        if (m_listen == INVALID_SOCKET ||
            ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(m_listen, 8) != 0 ||
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return;
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { Loop(); });
    }
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;
    ~LocalHttpServer() {
        ::SetEvent(m_stop);
        if (m_thread.joinable())
            m_thread.join();
        if (m_listen != INVALID_SOCKET)
            ::closesocket(m_listen);
        ::CloseHandle(m_stop);
        ::WSACleanup();
    }

    int Port() const { return m_port; }
    // "http://127.0.0.1:<port>", or "http://<host>:<port>" for another name of this server.
    std::string Base(const std::string& host = "127.0.0.1") const {
        return "http://" + host + ":" + std::to_string(m_port);
    }
    std::vector<Request> Requests() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    HANDLE StopEvent() const { return m_stop; }

private:
    void Loop() {
        for (;;) {
            // Polled, so the destructor's stop is seen without a client.
            fd_set ready;
            FD_ZERO(&ready);
            FD_SET(m_listen, &ready);
            timeval tick = {0, 50000};
            int n = ::select(0, &ready, nullptr, nullptr, &tick);
            if (::WaitForSingleObject(m_stop, 0) == WAIT_OBJECT_0 || n < 0)
                return;
            if (n == 0)
                continue;
            SOCKET s = ::accept(m_listen, nullptr, nullptr);
            if (s == INVALID_SOCKET)
                return;
            // A client that connects and sends nothing cannot hold up the end.
            DWORD headTimeoutMs = 10000;
            ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&headTimeoutMs),
                         sizeof headTimeoutMs);
            Request request;
            if (ReadHead(s, request)) {
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_requests.push_back(request);
                }
                Connection c(s, *this);
                m_answer(c, request);
            }
            ::shutdown(s, SD_SEND);
            ::closesocket(s);
            if (::WaitForSingleObject(m_stop, 0) == WAIT_OBJECT_0)
                return;
        }
    }

    static bool ReadHead(SOCKET s, Request& request) {
        std::string head;
        char c;
        while (head.size() < 65536 && head.find("\r\n\r\n") == std::string::npos) {
            if (::recv(s, &c, 1, 0) != 1)
                return false;
            head += c;
        }
        size_t end = head.find("\r\n");
        std::string line = head.substr(0, end);
        size_t sp1 = line.find(' '), sp2 = line.rfind(' ');
        if (sp1 == std::string::npos || sp2 <= sp1)
            return false;
        request.method = line.substr(0, sp1);
        request.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
        for (size_t at = end + 2; at < head.size();) {
            size_t next = head.find("\r\n", at);
            std::string field = head.substr(at, next - at);
            at = next + 2;
            size_t colon = field.find(':');
            if (colon == std::string::npos)
                continue;
            std::string name = field.substr(0, colon);
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char ch) { return char(std::tolower(ch)); });
            std::string value = field.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            request.headers[name] = value;
        }
        return true;
    }

    Answer m_answer;
    SOCKET m_listen = INVALID_SOCKET;
    int m_port = 0;
    HANDLE m_stop = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<Request> m_requests;
};

inline bool Connection::Pause(DWORD ms) {
    return ::WaitForSingleObject(m_server.StopEvent(), ms) == WAIT_TIMEOUT;
}

// A port on 127.0.0.1 where nothing listens: taken from the system, then
// let go.
inline int ClosedPort() {
    WSADATA wsa;
    ::WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof addr;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::closesocket(s);
    ::WSACleanup();
    return port;
}

} // namespace update_test
