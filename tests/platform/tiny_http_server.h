#pragma once
// A small HTTP server on 127.0.0.1 for download tests: each path answers as the test told it,
// including answers that break off, stall or lie about their length.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testhttp {

struct Answer {
    int status = 200;
    std::string body;
    long announcedLength = -1; // Content-Length sent; -1 for the body's size
    bool stall = false;        // headers and nothing more, connection held open
    int delayMs = 0;           // before answering
    bool sendLength = true;    // false: no Content-Length, the body ends when the server closes
    bool endless = false;      // the body sent over and over until the client goes away
};

class TinyHttpServer {
public:
    TinyHttpServer() {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(m_fd, 16);
        socklen_t len = sizeof addr;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~TinyHttpServer() {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    int port() const { return m_port; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    void set(const std::string& path, Answer answer) {
        std::lock_guard lock(m_mutex);
        m_answers[path] = std::move(answer);
    }
    std::vector<std::string> requests() {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

private:
    void serve() {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const int c = ::accept(m_fd, nullptr, nullptr);
            if (c < 0)
                continue;
            ++m_busy;
            std::thread([this, c] { answer(c); }).detach();
        }
        // Wait for answering threads (stalled ones watch m_stop).
        while (m_busy > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    void answer(int c) {
        std::string request;
        char buf[2048];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            request.append(buf, static_cast<size_t>(n));
        }
        const size_t sp1 = request.find(' ');
        const size_t sp2 = request.find(' ', sp1 + 1);
        const std::string target =
            sp1 == std::string::npos ? std::string() : request.substr(sp1 + 1, sp2 - sp1 - 1);
        Answer a;
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(target);
            auto it = m_answers.find(target);
            if (it != m_answers.end())
                a = it->second;
            else
                a.status = 404;
        }
        if (a.delayMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(a.delayMs));
        const long length = a.announcedLength >= 0 ? a.announcedLength : long(a.body.size());
        std::string head = "HTTP/1.1 " + std::to_string(a.status) + " X\r\n";
        if (a.sendLength)
            head += "Content-Length: " + std::to_string(length) + "\r\n";
        head += "Connection: close\r\n\r\n";
        ::send(c, head.data(), head.size(), MSG_NOSIGNAL);
        if (a.stall) {
            while (!m_stop)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } else if (a.endless) {
            while (!m_stop && !a.body.empty() &&
                   ::send(c, a.body.data(), a.body.size(), MSG_NOSIGNAL) > 0) {
            }
        } else {
            ::send(c, a.body.data(), a.body.size(), MSG_NOSIGNAL);
        }
        ::shutdown(c, SHUT_RDWR);
        ::close(c);
        --m_busy;
    }

    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_busy{0};
    std::thread m_thread;
    std::mutex m_mutex;
    std::map<std::string, Answer> m_answers;
    std::vector<std::string> m_requests;
};

} // namespace testhttp
