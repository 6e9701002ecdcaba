// wqhost - loads a module library in the reference host, shows its
// description and pins, and runs an example session with it.
#include "host/ExampleSession.h"
#include "host/HostError.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

int main(int argc, char **argv) {
    if (argc != 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        std::fprintf(argc == 2 ? stdout : stderr, "usage: %s MODULE_LIBRARY\n",
                     argc > 0 ? argv[0] : "wqhost");
        return argc == 2 ? 0 : 2;
    }
    try {
        wqhost::runExampleSession(argv[1], std::cout);
    } catch (const std::exception &e) {
        std::cout.flush();
        std::fprintf(stderr, "wqhost: %s\n", e.what());
        return 2;
    }
    return 0;
}
