#include "tools/devicesim/sim_server.h"

#include "tools/devicesim/jpeg_writer.h"
#include "tools/plate/plate.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace devicesim {

namespace {

// Whole decimal integer, optional sign; false on anything else.
bool parseInt(const std::string& text, long long& value) {
    if (text.empty() || text.size() > 18)
        return false;
    std::size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size())
        return false;
    long long v = 0;
    for (std::size_t j = i; j < text.size(); ++j) {
        if (text[j] < '0' || text[j] > '9')
            return false;
        v = v * 10 + (text[j] - '0');
    }
    value = text[0] == '-' ? -v : v;
    return true;
}

bool parseReal(const std::string& text, double& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

std::string percentDecode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (text[i] == '+') {
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

std::map<std::string, std::string> parseQuery(const std::string& query) {
    std::map<std::string, std::string> fields;
    std::size_t pos = 0;
    while (pos <= query.size()) {
        std::size_t amp = query.find('&', pos);
        if (amp == std::string::npos)
            amp = query.size();
        const std::string part = query.substr(pos, amp - pos);
        const std::size_t eq = part.find('=');
        if (!part.empty()) {
            if (eq == std::string::npos)
                fields[percentDecode(part)] = "";
            else
                fields[percentDecode(part.substr(0, eq))] = percentDecode(part.substr(eq + 1));
        }
        pos = amp + 1;
    }
    return fields;
}

// Orders frame files by name, digit runs by their value ("f2" before "f10").
bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i]));
        const bool db = std::isdigit(static_cast<unsigned char>(b[j]));
        if (da && db) {
            std::size_t ie = i, je = j;
            while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie])))
                ++ie;
            while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je])))
                ++je;
            std::string na = a.substr(i, ie - i), nb = b.substr(j, je - j);
            na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
            nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

const char* reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 500:
        return "Internal Server Error";
    default:
        return "Error";
    }
}

bool sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

Reply textReply(int status, std::string body) {
    Reply r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

// Frame size of a framesize setting; false for a value this device does not offer.
bool frameSizeOf(int framesize, int& width, int& height) {
    switch (framesize) {
    case 13:
        width = 1600;
        height = 1200;
        return true;
    case 8:
        width = 640;
        height = 480;
        return true;
    default:
        return false;
    }
}

} // namespace

bool parseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = "missing value after " + a;
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        long long n = 0;
        if (a == "--port") {
            if (!value(v) || !parseInt(v, n) || n < 0 || n > 65535) {
                error = error.empty() ? "bad port: " + v : error;
                return false;
            }
            options.port = static_cast<int>(n);
        } else if (a == "--worms") {
            if (!value(v) || !parseInt(v, n) || n < 0 || n > 1000) {
                error = error.empty() ? "bad worm count: " + v : error;
                return false;
            }
            options.worms = static_cast<int>(n);
        } else if (a == "--seed") {
            if (!value(v) || !parseInt(v, n) || n < 0 || n > 0xFFFFFFFFLL) {
                error = error.empty() ? "bad seed: " + v : error;
                return false;
            }
            options.seed = static_cast<std::uint32_t>(n);
        } else if (a == "--speed") {
            double s = 0.0;
            if (!value(v) || !parseReal(v, s) || s < 0.0) {
                error = error.empty() ? "bad speed: " + v : error;
                return false;
            }
            options.speed = s;
        } else if (a == "--frames") {
            if (!value(options.framesDir))
                return false;
        } else if (a == "--truth") {
            if (!value(options.truthFile))
                return false;
        } else if (a == "--log") {
            if (!value(options.logFile))
                return false;
        } else if (a == "--fault") {
            if (!value(v))
                return false;
            const std::size_t colon = v.find(':');
            const std::string kind = v.substr(0, colon);
            const std::string arg = colon == std::string::npos ? "" : v.substr(colon + 1);
            Fault f;
            f.arg = arg;
            if (kind == "refuse" && arg.empty()) {
                f.kind = Fault::Kind::Refuse;
            } else if (kind == "delay" && parseInt(arg, n) && n >= 0 && n <= 600000) {
                f.kind = Fault::Kind::Delay;
                f.delayMs = static_cast<int>(n);
            } else if (kind == "http500" && !arg.empty()) {
                f.kind = Fault::Kind::Http500;
            } else if (kind == "short") {
                f.kind = Fault::Kind::Short;
            } else if (kind == "notjpeg" && arg.empty()) {
                f.kind = Fault::Kind::NotJpeg;
            } else if (kind == "stall") {
                f.kind = Fault::Kind::Stall;
            } else {
                error = "bad fault: " + v;
                return false;
            }
            options.faults.push_back(f);
        } else {
            error = "unknown option: " + a;
            return false;
        }
    }
    return true;
}

SimServer::SimServer(SimOptions options) : m_options(std::move(options)) {
    m_settings = {{"framesize", 13}, {"quality", 10}, {"aec_value", 300}, {"agc_gain", 0},
                  {"lamp", 0},       {"autolamp", 0}, {"lenc", 0},        {"wpc", 0}};
}

SimServer::~SimServer() {
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    if (m_log && m_log != stderr)
        std::fclose(m_log);
    if (m_truth)
        std::fclose(m_truth);
}

int SimServer::start(std::string& error) {
    if (!m_options.framesDir.empty()) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(m_options.framesDir, ec)) {
            std::string ext = entry.path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
            if (entry.is_regular_file() && (ext == ".jpg" || ext == ".jpeg"))
                m_frameFiles.push_back(entry.path().string());
        }
        if (ec) {
            error = "cannot read the frames folder " + m_options.framesDir + ": " + ec.message();
            return -1;
        }
        if (m_frameFiles.empty()) {
            error = "no JPEG files in " + m_options.framesDir;
            return -1;
        }
        std::sort(m_frameFiles.begin(), m_frameFiles.end(), naturalLess);
    }
    if (m_options.logFile.empty()) {
        m_log = stderr;
    } else if (!(m_log = std::fopen(m_options.logFile.c_str(), "a"))) {
        error = "cannot open the log " + m_options.logFile + ": " + std::strerror(errno);
        return -1;
    }
    if (!m_options.truthFile.empty()) {
        if (!(m_truth = std::fopen(m_options.truthFile.c_str(), "w"))) {
            error =
                "cannot open the truth file " + m_options.truthFile + ": " + std::strerror(errno);
            return -1;
        }
        std::fputs("capture,seconds,worm,x,y\n", m_truth);
        std::fflush(m_truth);
    }

    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    const int yes = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(m_options.port));
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 ||
        ::listen(m_listenFd, 64) < 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(m_options.port) + ": " +
                std::strerror(errno);
        return -1;
    }
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_start = std::chrono::steady_clock::now();
    return ntohs(addr.sin_port);
}

void SimServer::run(const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd p{m_listenFd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready <= 0)
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        if (findFault(Fault::Kind::Refuse)) {
            ::close(fd);
            continue;
        }
        ++m_openConnections;
        std::thread([this, fd, &stop] {
            serveConnection(fd, stop);
            --m_openConnections;
        }).detach();
    }
    ::close(m_listenFd);
    m_listenFd = -1;
    // Connections in progress get a moment to finish; stalled ones see `stop` and end.
    for (int i = 0; i < 100 && m_openConnections > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

const Fault* SimServer::findFault(Fault::Kind kind) const {
    for (const Fault& f : m_options.faults)
        if (f.kind == kind)
            return &f;
    return nullptr;
}

void SimServer::logRequest(const std::string& target) {
    std::lock_guard lock(m_mutex);
    std::fprintf(m_log, "%s\n", target.c_str());
    std::fflush(m_log);
}

void SimServer::serveConnection(int fd, const std::atomic<bool>& stop) {
    timeval sendTimeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);

    // Read the request head (at most 16 KiB, at most 5 s).
    std::string head;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (head.find("\r\n\r\n") == std::string::npos && head.find("\n\n") == std::string::npos) {
        if (stop || head.size() > 16384 || std::chrono::steady_clock::now() > deadline) {
            ::close(fd);
            return;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            ::close(fd);
            return;
        }
        head.append(buf, static_cast<std::size_t>(n));
    }
    const std::string line = head.substr(0, head.find_first_of("\r\n"));
    std::istringstream words(line);
    std::string method, target, version;
    words >> method >> target >> version;

    Reply reply;
    if (target.empty() || version.rfind("HTTP/", 0) != 0) {
        reply = textReply(400, "bad request\n");
    } else {
        logRequest(target);
        if (const Fault* delay = findFault(Fault::Kind::Delay)) {
            const auto until =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(delay->delayMs);
            while (!stop && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        reply = method == "GET" ? handle(target) : textReply(405, "only GET\n");
    }

    if (reply.stall) {
        // Hold the connection without a byte until the client gives up or the device ends.
        while (!stop) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char buf[512];
                if (::recv(fd, buf, sizeof buf, 0) <= 0)
                    break;
            }
        }
        ::close(fd);
        return;
    }

    std::string header = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                         reasonPhrase(reply.status) + "\r\nContent-Type: " + reply.contentType +
                         "\r\nContent-Length: " + std::to_string(reply.body.size()) +
                         "\r\nConnection: close\r\n\r\n";
    const std::size_t bodyBytes = reply.cutShort ? reply.body.size() / 2 : reply.body.size();
    if (sendAll(fd, header.data(), header.size()))
        sendAll(fd, reply.body.data(), bodyBytes);
    // Let the client read everything before the connection goes away.
    ::shutdown(fd, SHUT_WR);
    const auto drainUntil = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!stop && std::chrono::steady_clock::now() < drainUntil) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) {
            char buf[512];
            if (::recv(fd, buf, sizeof buf, 0) <= 0)
                break;
        }
    }
    ::close(fd);
}

Reply SimServer::handle(const std::string& target) {
    const std::size_t q = target.find('?');
    const std::string path = target.substr(0, q);
    const std::string query = q == std::string::npos ? "" : target.substr(q + 1);

    if (const Fault* stall = findFault(Fault::Kind::Stall)) {
        if (stall->arg.empty() || stall->arg == path) {
            Reply r;
            r.stall = true;
            return r;
        }
    }
    Reply reply;
    if (path == "/status")
        reply = status();
    else if (path == "/control")
        reply = control(query);
    else if (path == "/capture")
        reply = capture();
    else
        reply = textReply(404, "not found\n");

    if (const Fault* cut = findFault(Fault::Kind::Short)) {
        if ((cut->arg.empty() && path == "/capture") || cut->arg == path)
            reply.cutShort = true;
    }
    return reply;
}

Reply SimServer::status() {
    std::lock_guard lock(m_mutex);
    std::string body = "{";
    bool first = true;
    for (const auto& [name, value] : m_settings) {
        body += (first ? "\"" : ",\"") + name + "\":" + std::to_string(value);
        first = false;
    }
    body += "}\n";
    Reply r = textReply(200, body);
    r.contentType = "application/json";
    return r;
}

Reply SimServer::control(const std::string& query) {
    const auto fields = parseQuery(query);
    const auto var = fields.find("var");
    const auto val = fields.find("val");
    if (var == fields.end() || val == fields.end())
        return textReply(400, "var and val are needed\n");
    for (const Fault& f : m_options.faults)
        if (f.kind == Fault::Kind::Http500 && f.arg == var->second)
            return textReply(500, "failed to set " + var->second + "\n");
    long long value = 0;
    if (!parseInt(val->second, value) || value < -100000 || value > 100000)
        return textReply(400, "not a whole number: " + val->second + "\n");

    std::lock_guard lock(m_mutex);
    const auto setting = m_settings.find(var->second);
    if (setting == m_settings.end())
        return textReply(400, "unknown setting: " + var->second + "\n");
    int w = 0, h = 0;
    if (var->second == "framesize" && !frameSizeOf(static_cast<int>(value), w, h))
        return textReply(400, "unsupported framesize: " + val->second + "\n");
    setting->second = static_cast<int>(value);
    return textReply(200, "OK\n");
}

Reply SimServer::capture() {
    if (findFault(Fault::Kind::NotJpeg))
        return textReply(200, "<html><body>camera busy</body></html>\n");

    int framesize, quality, lamp;
    long index;
    {
        std::lock_guard lock(m_mutex);
        framesize = m_settings["framesize"];
        quality = m_settings["quality"];
        lamp = m_settings["lamp"];
        index = m_captureIndex++;
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();

    Reply r;
    r.contentType = "image/jpeg";
    if (!m_frameFiles.empty()) {
        const std::string& file =
            m_frameFiles[static_cast<std::size_t>(index) % m_frameFiles.size()];
        std::ifstream in(file, std::ios::binary);
        std::ostringstream data;
        data << in.rdbuf();
        if (!in)
            return textReply(500, "cannot read " + file + "\n");
        r.body = data.str();
        return r;
    }

    plate::PlateOptions options;
    options.worms = m_options.worms;
    options.seed = m_options.seed;
    options.speed = m_options.speed;
    // The lamp lights the agar: 96, the brightest level the program sends, adds about 38.
    options.brightness = std::clamp(lamp, 0, 255) * 2 / 5;
    frameSizeOf(framesize, options.width, options.height);
    const plate::PlateFrame frame = plate::drawPlate(options, elapsed);
    // Lower quality values mean finer compression, as on the camera (0 best, 63 coarsest).
    const int jpegQuality = std::clamp(95 - quality, 10, 95);
    r.body = encodeJpeg(frame.pixels, frame.width, frame.height, jpegQuality);
    if (r.body.empty())
        return textReply(500, "encoder failed\n");

    if (m_truth) {
        std::lock_guard lock(m_mutex);
        for (const plate::WormTruth& w : frame.worms)
            std::fprintf(m_truth, "%ld,%.3f,%d,%.2f,%.2f\n", index, elapsed, w.id, w.x, w.y);
        std::fflush(m_truth);
    }
    return r;
}

} // namespace devicesim
