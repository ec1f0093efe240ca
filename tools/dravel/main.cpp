// Dravel: JPEG frame to 8-bit gray PGM.

#include "tools/dravel/dravel.h"

#include <iostream>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    return dravel::runDravel(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
