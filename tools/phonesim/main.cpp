// phonesim: a Tarvel phone on a pseudo-terminal (see README.md).
#include <cstdio>

#include "simulator.h"

int main(int argc, char** argv) {
    phonesim::Options options;
    std::string error;
    if (!phonesim::parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "phonesim: %s\n", error.c_str());
        return 2;
    }
    return phonesim::run(options);
}
