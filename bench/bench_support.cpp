#include "bench/bench_support.h"

#include <cstdio>
#include <cstring>

namespace bench {

bool takeSmokeOption(int &argc, char **argv) {
    bool smoke = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0)
            smoke = true;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return smoke;
}

std::string cell(const char *format, double value) {
    if (value < 0)
        return "—";
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string differenceCell(const char *format, double a, double b, double divisor) {
    if (a < 0 || b < 0 || divisor <= 0)
        return "—";
    char text[64];
    std::snprintf(text, sizeof text, format, (a - b) / divisor);
    return text;
}

std::string ratioCell(double numerator, double denominator) {
    return numerator >= 0 && denominator > 0 ? cell("%.2f", numerator / denominator) : "—";
}

} // namespace bench
