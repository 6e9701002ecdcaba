// bench_support.h - what the benchmark programs share besides counting
// allocations: the smoke run and the cells of their summary tables.
#pragma once

#include <string>

namespace bench {

// Takes the programs' own option --smoke off the command line (before Google
// Benchmark reads it) and says whether it was there. A smoke run runs every
// benchmark once, for a few iterations and one repetition: it shows that the
// programs build, that their checks of the traced calls hold, and that
// nothing stops with an error; its times mean nothing.
bool takeSmokeOption(int &argc, char **argv);

// printf-formats `value`, or gives "—" for a value that was not measured
// (negative: the benchmark was filtered out or stopped with an error).
std::string cell(const char *format, double value);

// (a - b) / divisor as a cell, negative or not (two measured times can come
// out either way): "—" unless both were measured.
std::string differenceCell(const char *format, double a, double b, double divisor = 1);

// `numerator / denominator` as a cell: "—" unless both were measured.
std::string ratioCell(double numerator, double denominator);

} // namespace bench
