// Mirrant: z-stack of PGM frames by per-pixel minimum, and its BMP export.

#include "tools/mirrant/mirrant.h"

#include <csignal>
#include <iostream>

int main(int argc, char** argv) {
    // Under a file-size limit a write must fail (and its file be removed), not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    return mirrant::runMirrant(std::vector<std::string>(argv + 1, argv + argc), std::cerr);
}
