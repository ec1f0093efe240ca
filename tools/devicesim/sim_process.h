#pragma once
// Test helper: starts the camera device simulator `devicesim` as a real process on a free port
// of 127.0.0.1 and stops it again when the object goes away. Header-only, standard library and
// POSIX, so any test can include it.
//
//   devicesim::SimProcess sim(VX_BIN_DIR, {"--worms", "5", "--log", logPath});
//   ASSERT_TRUE(sim.ok()) << sim.error();
//   std::string address = sim.address();          // "127.0.0.1:PORT", a device address
//   devicesim::HttpResult r = devicesim::httpGet(sim.port(), "/status");

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace devicesim {

class SimProcess {
public:
    // Starts `binDir`/devicesim with `args` (do not pass --port unless a fixed one is wanted)
    // and waits up to `startTimeout` for its "listening on 127.0.0.1:PORT" line.
    SimProcess(const std::string& binDir, const std::vector<std::string>& args,
               std::chrono::milliseconds startTimeout = std::chrono::seconds(20)) {
        const std::string program = binDir + "/devicesim";
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            m_error = std::string("pipe: ") + std::strerror(errno);
            return;
        }
        m_pid = ::fork();
        if (m_pid < 0) {
            m_error = std::string("fork: ") + std::strerror(errno);
            ::close(fds[0]);
            ::close(fds[1]);
            return;
        }
        if (m_pid == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);

        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + startTimeout;
        while (line.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                m_error = "devicesim did not report its port in time";
                break;
            }
            pollfd p{fds[0], POLLIN, 0};
            const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                continue;
            char buf[256];
            const ssize_t n = ::read(fds[0], buf, sizeof buf);
            if (n <= 0) {
                m_error = "devicesim ended before it listened (" + program + ")";
                break;
            }
            line.append(buf, static_cast<std::size_t>(n));
        }
        ::close(fds[0]);
        const std::string prefix = "listening on 127.0.0.1:";
        if (m_error.empty() && line.rfind(prefix, 0) == 0)
            m_port = std::atoi(line.c_str() + prefix.size());
        if (m_port <= 0) {
            if (m_error.empty())
                m_error = "unexpected first line from devicesim: " + line;
            stop();
        }
    }

    ~SimProcess() { stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool ok() const { return m_port > 0 && m_pid > 0; }
    const std::string& error() const { return m_error; }
    int port() const { return m_port; }
    pid_t pid() const { return m_pid; }
    // The device address as the operator types it: "127.0.0.1:PORT".
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
    std::string baseUrl() const { return "http://" + address(); }

    // SIGTERM, up to 5 s to end, then SIGKILL. Returns the exit status as waitpid gives it,
    // or -1 when there was no process.
    int stop() {
        if (m_pid <= 0)
            return -1;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
            if (r == m_pid || (r < 0 && errno != EINTR))
                break;
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            ::usleep(10000);
        }
        m_pid = -1;
        return status;
    }

private:
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_error;
};

// One plain HTTP/1.0 GET on 127.0.0.1. status 0 means no status line came back (refused,
// closed, timed out); `complete` tells whether the body is as long as its Content-Length.
struct HttpResult {
    int status = 0;
    std::string head; // status line and headers
    std::string body;
    long long contentLength = -1;
    bool complete = false;
    bool timedOut = false;
};

inline HttpResult httpGet(int port, const std::string& target, int timeoutMs = 10000) {
    HttpResult result;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return result;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return result;
    }
    const std::string request = "GET " + target +
                                " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nConnection: close\r\n\r\n";
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
        ::close(fd);
        return result;
    }
    std::string data;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            break;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        char buf[65536];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    const std::size_t end = data.find("\r\n\r\n");
    if (end == std::string::npos || data.rfind("HTTP/", 0) != 0)
        return result;
    result.head = data.substr(0, end + 2);
    result.body = data.substr(end + 4);
    const std::size_t space = result.head.find(' ');
    result.status = space == std::string::npos ? 0 : std::atoi(result.head.c_str() + space + 1);
    for (std::size_t pos = 0; pos < result.head.size();) {
        const std::size_t eol = result.head.find("\r\n", pos);
        std::string header = result.head.substr(pos, eol - pos);
        for (char& c : header)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (header.rfind("content-length:", 0) == 0)
            result.contentLength = std::atoll(header.c_str() + 15);
        pos = eol == std::string::npos ? result.head.size() : eol + 2;
    }
    result.complete = result.contentLength < 0 ||
                      static_cast<long long>(result.body.size()) == result.contentLength;
    return result;
}

} // namespace devicesim
