// Mirrant: z-stack of PGM frames by per-pixel minimum, and its BMP export.

#include "tools/mirrant/mirrant.h"

#include <iostream>

int main(int argc, char** argv) {
    return mirrant::runMirrant(std::vector<std::string>(argv + 1, argv + argc), std::cerr);
}
