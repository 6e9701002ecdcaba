// SampleExpectation - the checks of `expect samples` and `expect golden` over
// what one pin carried during the last `process` (SampleCapture):
//
//   peak|rms|min|max OP V [± T]   a measure of all its samples
//   at N OP V [± T]               sample N (counted from the process's start)
//   finite                        no NaN and no infinity
//   == PIN2 * K [± T]             every sample is PIN2's sample times K
//   golden PATH.wav [± T]         every sample is the reference file's
//
// OP is one of == != < <= > >=; "± T" (also written "+- T") widens == and
// != by T. peak is the largest magnitude, rms the root of the mean square.
// PIN2 * K is computed as the module would compute it: both as floats, one
// float multiplication. A check over a capture that kept fewer samples than
// the pin carried fails: it would judge only a part.
#pragma once

#include "host/audio/AudioStreams.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wqhost {

// A word of a script line: a bare word or a quoted text.
struct AudioWord {
    std::string text;
    bool quoted = false;
};

struct SampleExpectation {
    enum class Kind { Measure, Finite, Scaled, Golden };
    enum class Measure { Peak, Rms, Min, Max, At };
    enum class Op { Eq, Ne, Lt, Le, Gt, Ge };
    Kind kind = Kind::Measure;
    Measure measure = Measure::Peak;
    uint64_t at = 0; // Measure::At
    Op op = Op::Eq;
    double value = 0.0;     // Measure
    double tolerance = 0.0; // ± T
    AudioWord otherPin;     // Scaled: PIN2 as written
    float factor = 1.0f;    // Scaled: K
    std::string path;       // Golden: the reference as written
};

// Reads the words after `expect samples PIN` (golden = false) or after
// `expect golden PIN` (golden = true). Throws std::invalid_argument with a
// message saying what is wrong.
SampleExpectation parseSampleExpectation(const std::vector<AudioWord> &words, bool golden);

struct SampleVerdict {
    bool holds = false;
    std::string actual; // what was found, for the report of a failure
    std::string note;   // said even when it holds (a reference written)
};

// Measure and Finite.
SampleVerdict checkSamples(const SampleCapture &capture, const SampleExpectation &e);
// Scaled: `capture` against `other` * K.
SampleVerdict checkScaled(const SampleCapture &capture, const SampleCapture &other,
                          const SampleExpectation &e);

struct GoldenPlace {
    std::string reference;    // the reference file, resolved
    std::string outputFolder; // where the diff and the actual samples go
    double rate = 48000.0;    // the session's sample rate
    bool record = false;      // --record-golden: write the reference
};

// Golden: the capture against the reference file. A missing reference
// fails unless `record`; with `record` the reference is (re)written and the
// check holds. On a mismatch NAME.diff.wav (capture minus reference, over
// the longer of the two) and NAME.actual.wav are written to outputFolder,
// NAME being the reference's stem, and the first differing sample is named.
SampleVerdict checkGolden(const SampleCapture &capture, const SampleExpectation &e,
                          const GoldenPlace &place);

} // namespace wqhost
