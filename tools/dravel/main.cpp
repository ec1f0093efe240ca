// Dravel: JPEG frame to 8-bit gray PGM.

#include "tools/dravel/dravel.h"

#include <csignal>
#include <iostream>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    // Under a file-size limit a write must fail (and its file be removed), not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    return dravel::runDravel(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
