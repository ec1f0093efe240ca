// devicesim: a camera device on 127.0.0.1 for tests and for trying the system without hardware.

#include "tools/devicesim/sim_server.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int) {
    g_stop = true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    devicesim::SimOptions options;
    std::string error;
    if (!devicesim::parseOptions(args, options, error)) {
        std::fprintf(stderr, "devicesim: %s\n", error.c_str());
        std::fprintf(stderr,
                     "usage: devicesim [--port N] [--worms K] [--seed S] [--speed F] "
                     "[--frames DIR] [--truth FILE] [--log FILE] [--fault KIND[:ARG]]...\n");
        return 2;
    }

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    devicesim::SimServer server(options);
    const int port = server.start(error);
    if (port < 0) {
        std::fprintf(stderr, "devicesim: %s\n", error.c_str());
        return 1;
    }
    std::printf("listening on 127.0.0.1:%d\n", port);
    std::fflush(stdout);
    server.run(g_stop);
    return 0;
}
