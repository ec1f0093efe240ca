// Sirrex: the console organism finder.

#include "finder/sirrex.h"

#include <csignal>
#include <iostream>
#include <poll.h>
#include <sstream>
#include <unistd.h>

namespace {

// A key can be waited for on a terminal, or on an input that already holds something; a closed
// or idle input must never hold the program.
bool keyWaitPossible() {
    if (::isatty(STDIN_FILENO))
        return true;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}

// The frame file is mapped into memory; should another program cut it short while it is
// analysed, reading the lost part raises SIGBUS. Nothing has been written by then: say so and
// end like any other unreadable frame.
extern "C" void frameFileShrank(int) {
    static const char message[] = "Cant read File correctly: the file was cut short while read\n";
    [[maybe_unused]] const auto n = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(1);
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::signal(SIGBUS, frameFileShrank);
    // Under a file-size limit a write must fail and be taken back, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::vector<std::string> args(argv, argv + argc);
    std::istringstream noInput;
    const bool waitForKey = keyWaitPossible();
    return finder::runSirrex(args, std::cout, std::cerr, waitForKey ? std::cin : noInput);
}
