#pragma once
// A camera device on the loopback interface: it answers "/status", "/control?var=..&val=.."
// and "/capture" over plain HTTP like the camera the system talks to, serving synthetic plates
// (or the JPEG files of a folder) and writing where every worm really was.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace devicesim {

// A fault the device shows on purpose, so that tests can watch the client cope with it.
struct Fault {
    enum class Kind { Refuse, Delay, Http500, Short, NotJpeg, Stall };
    Kind kind = Kind::Refuse;
    std::string arg; // Http500: the setting name; Short and Stall: an optional path
    int delayMs = 0; // Delay
};

struct SimOptions {
    int port = 0; // 0 takes a free port
    int worms = 20;
    std::uint32_t seed = 1;
    double speed = 1.0;
    std::string framesDir; // serve these JPEG files in turn instead of synthetic plates
    std::string truthFile; // ground truth CSV, appended at every capture
    std::string logFile;   // request log; stderr when empty
    std::vector<Fault> faults;
};

// Reads the command line; false with a message on anything it does not understand.
bool parseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error);

// One HTTP answer.
struct Reply {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    bool cutShort = false; // announce the whole length, send half, close
    bool stall = false;    // send nothing, hold the connection
};

class SimServer {
public:
    explicit SimServer(SimOptions options);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Binds 127.0.0.1 and listens; returns the port, or -1 with a message.
    int start(std::string& error);
    // Serves until `stop` becomes true; then waits a little for open connections.
    void run(const std::atomic<bool>& stop);

    // The answer to one request target ("/status", "/control?var=lamp&val=30", ...).
    Reply handle(const std::string& target);

private:
    void serveConnection(int fd, const std::atomic<bool>& stop);
    void logRequest(const std::string& target);
    Reply status();
    Reply control(const std::string& query);
    Reply capture();
    const Fault* findFault(Fault::Kind kind) const;

    SimOptions m_options;
    int m_listenFd = -1;
    std::chrono::steady_clock::time_point m_start;
    std::mutex m_mutex; // settings, capture counter, truth and log files
    std::map<std::string, int> m_settings;
    long m_captureIndex = 0;
    std::vector<std::string> m_frameFiles;
    std::FILE* m_log = nullptr;
    std::FILE* m_truth = nullptr;
    std::atomic<int> m_openConnections{0};
};

} // namespace devicesim
