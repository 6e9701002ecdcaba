#include "host/audio/SampleExpectation.h"

#include "host/audio/WavFile.h"
#include "host/pins/PinStore.h"
#include "host/platform/HostError.h"
#include "host/text/NumberText.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace wqhost {

namespace {

[[noreturn]] void fail(const std::string &message) { throw std::invalid_argument(message); }

const char kPlusMinus[] = "\xC2\xB1"; // ± in UTF-8

double parseNumber(const std::string &w, const std::string &what) {
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(w.c_str(), &end);
    if (w.empty() || end != w.c_str() + w.size() || !std::isfinite(v))
        fail("'expect' needs " + what + ", not '" + w + "'");
    return v;
}

class Reader {
public:
    explicit Reader(const std::vector<AudioWord> &words) : m_words(words) {}

    bool more() const { return m_i < m_words.size(); }
    const AudioWord &next(const std::string &what) {
        if (!more())
            fail("'expect' needs " + what);
        return m_words[m_i++];
    }
    std::string word(const std::string &what) {
        const AudioWord &w = next(what);
        if (w.quoted)
            fail("'expect' needs " + what + ", not a quoted text");
        return w.text;
    }
    double number(const std::string &what) { return parseNumber(word(what), what); }

    SampleExpectation::Op op() {
        const std::string w = word("a comparison (== != < <= > >=)");
        if (w == "==")
            return SampleExpectation::Op::Eq;
        if (w == "!=")
            return SampleExpectation::Op::Ne;
        if (w == "<")
            return SampleExpectation::Op::Lt;
        if (w == "<=")
            return SampleExpectation::Op::Le;
        if (w == ">")
            return SampleExpectation::Op::Gt;
        if (w == ">=")
            return SampleExpectation::Op::Ge;
        fail("'expect' needs a comparison (== != < <= > >=), not '" + w + "'");
    }

    // An optional "± T", "+- T", "±T" or "+-T" at the end.
    double tolerance() {
        if (!more())
            return 0.0;
        std::string w = word("a tolerance");
        std::string rest;
        for (const char *sign : {kPlusMinus, "+-"}) {
            const std::string s = sign;
            if (w.compare(0, s.size(), s) == 0) {
                rest = w.substr(s.size());
                w = s;
            }
        }
        if (w != kPlusMinus && w != "+-")
            fail("after the value comes '± T' (or '+- T'), not '" + w + "'");
        const double t =
            rest.empty() ? number("a tolerance after ±") : parseNumber(rest, "a tolerance after ±");
        if (t < 0.0)
            fail("a tolerance is 0 or more");
        return t;
    }

    void done() const {
        if (more())
            fail("too many words in 'expect': '" + m_words[m_i].text + "'");
    }

private:
    const std::vector<AudioWord> &m_words;
    size_t m_i = 0;
};

bool compare(double actual, const SampleExpectation &e) {
    switch (e.op) {
    case SampleExpectation::Op::Eq: return std::fabs(actual - e.value) <= e.tolerance;
    case SampleExpectation::Op::Ne: return std::fabs(actual - e.value) > e.tolerance;
    case SampleExpectation::Op::Lt: return actual < e.value;
    case SampleExpectation::Op::Le: return actual <= e.value;
    case SampleExpectation::Op::Gt: return actual > e.value;
    case SampleExpectation::Op::Ge: return actual >= e.value;
    }
    return false;
}

std::string sampleText(double v) { return floatText(v, 9); }

// Why a capture cannot be judged, or empty.
std::string unusable(const SampleCapture &c) {
    if (c.total == 0)
        return "the pin carried no samples: run process first";
    if (c.cut())
        return "the last process gave " + std::to_string(c.total) + " samples, more than the " +
               std::to_string(c.samples.size()) + " kept for checks: process fewer blocks";
    return std::string();
}

std::string where(const SampleCapture &c, size_t i) {
    return "sample " + std::to_string(i) + " (clock " +
           std::to_string(static_cast<uint64_t>(c.startClock) + i) + ")";
}

} // namespace

SampleExpectation parseSampleExpectation(const std::vector<AudioWord> &words, bool golden) {
    Reader r(words);
    SampleExpectation e;
    if (golden) {
        e.kind = SampleExpectation::Kind::Golden;
        const AudioWord &path = r.next("a reference WAV file");
        if (path.text.empty())
            fail("'expect golden' needs a reference WAV file");
        e.path = path.text;
        e.tolerance = r.tolerance();
        r.done();
        return e;
    }
    const std::string what = r.word("peak, rms, min, max, at N, finite or == PIN2 * K");
    if (what == "finite") {
        e.kind = SampleExpectation::Kind::Finite;
    } else if (what == "==") {
        e.kind = SampleExpectation::Kind::Scaled;
        e.otherPin = r.next("a pin after == (== PIN2 * K)");
        if (r.word("'*' (== PIN2 * K)") != "*")
            fail("'expect samples PIN == PIN2 * K' needs '*' after the second pin");
        const double k = r.number("a factor (== PIN2 * K)");
        if (std::fabs(k) > 3.4028234e38)
            fail("the factor lies outside the floats");
        e.factor = static_cast<float>(k);
        e.tolerance = r.tolerance();
    } else {
        e.kind = SampleExpectation::Kind::Measure;
        if (what == "peak")
            e.measure = SampleExpectation::Measure::Peak;
        else if (what == "rms")
            e.measure = SampleExpectation::Measure::Rms;
        else if (what == "min")
            e.measure = SampleExpectation::Measure::Min;
        else if (what == "max")
            e.measure = SampleExpectation::Measure::Max;
        else if (what == "at") {
            e.measure = SampleExpectation::Measure::At;
            const std::string n = r.word("a sample number (at N)");
            if (n.empty() || n.size() > 18 ||
                n.find_first_not_of("0123456789") != std::string::npos)
                fail("'at' needs a sample number (0 or more), not '" + n + "'");
            e.at = std::strtoull(n.c_str(), nullptr, 10);
        } else
            fail("'expect samples PIN' is followed by peak, rms, min, max, at N, finite or "
                 "== PIN2 * K, not '" +
                 what + "'");
        e.op = r.op();
        e.value = r.number("a value to compare with");
        e.tolerance = r.tolerance();
    }
    r.done();
    return e;
}

SampleVerdict checkSamples(const SampleCapture &c, const SampleExpectation &e) {
    SampleVerdict v;
    const std::string why = unusable(c);
    if (!why.empty()) {
        v.actual = why;
        return v;
    }
    if (e.kind == SampleExpectation::Kind::Finite) {
        for (size_t i = 0; i < c.samples.size(); ++i)
            if (!std::isfinite(c.samples[i])) {
                v.actual = where(c, i) + " is " + sampleText(c.samples[i]);
                return v;
            }
        v.holds = true;
        v.actual = "all " + std::to_string(c.samples.size()) + " samples are finite";
        return v;
    }
    double m = 0.0;
    std::string name;
    switch (e.measure) {
    case SampleExpectation::Measure::Peak:
        name = "the peak";
        for (float s : c.samples)
            m = std::fmax(m, std::fabs(static_cast<double>(s)));
        break;
    case SampleExpectation::Measure::Rms: {
        name = "the rms";
        double sum = 0.0;
        for (float s : c.samples)
            sum += static_cast<double>(s) * s;
        m = std::sqrt(sum / static_cast<double>(c.samples.size()));
        break;
    }
    case SampleExpectation::Measure::Min:
    case SampleExpectation::Measure::Max: {
        const bool min = e.measure == SampleExpectation::Measure::Min;
        name = min ? "the minimum" : "the maximum";
        m = c.samples[0];
        for (float s : c.samples)
            m = min ? std::fmin(m, s) : std::fmax(m, s);
        break;
    }
    case SampleExpectation::Measure::At:
        if (e.at >= c.samples.size()) {
            v.actual = "the last process gave " + std::to_string(c.samples.size()) +
                       " samples, there is no sample " + std::to_string(e.at);
            return v;
        }
        name = where(c, static_cast<size_t>(e.at));
        m = c.samples[static_cast<size_t>(e.at)];
        break;
    }
    v.holds = compare(m, e);
    v.actual = name + " is " + sampleText(m);
    if (e.measure != SampleExpectation::Measure::At)
        v.actual += " over " + std::to_string(c.samples.size()) + " samples";
    return v;
}

SampleVerdict checkScaled(const SampleCapture &c, const SampleCapture &other,
                          const SampleExpectation &e) {
    SampleVerdict v;
    for (const SampleCapture *x : {&c, &other}) {
        const std::string why = unusable(*x);
        if (!why.empty()) {
            v.actual = why;
            return v;
        }
    }
    if (c.samples.size() != other.samples.size() || c.startClock != other.startClock) {
        v.actual = "the pins carried " + std::to_string(c.samples.size()) + " and " +
                   std::to_string(other.samples.size()) + " samples";
        return v;
    }
    for (size_t i = 0; i < c.samples.size(); ++i) {
        const float want = other.samples[i] * e.factor;
        const double diff = std::fabs(static_cast<double>(c.samples[i]) - want);
        if (!(diff <= e.tolerance)) {
            v.actual = where(c, i) + " is " + sampleText(c.samples[i]) + ", the other pin's " +
                       sampleText(other.samples[i]) + " * " + PinStore::formatFloat(e.factor) +
                       " is " + sampleText(want);
            return v;
        }
    }
    v.holds = true;
    v.actual = std::to_string(c.samples.size()) + " samples agree";
    return v;
}

SampleVerdict checkGolden(const SampleCapture &c, const SampleExpectation &e,
                          const GoldenPlace &place) {
    SampleVerdict v;
    const std::string why = unusable(c);
    if (!why.empty()) {
        v.actual = why;
        return v;
    }
    std::error_code error;
    if (place.record) {
        writeWav(place.reference, place.rate, c.samples);
        v.holds = true;
        v.note = "wrote the reference " + place.reference + " (" +
                 std::to_string(c.samples.size()) + " samples)";
        return v;
    }
    if (!std::filesystem::exists(place.reference, error)) {
        v.actual = "the reference " + place.reference +
                   " does not exist; run with --record-golden to write it from this run";
        return v;
    }
    const WavData ref = readWav(place.reference);
    const std::string stem = std::filesystem::path(place.reference).stem().string();
    const std::filesystem::path folder(place.outputFolder.empty() ? "." : place.outputFolder);
    std::string mismatch;
    if (std::fabs(ref.rate - place.rate) > 0.5)
        mismatch = "the reference is at " + floatText(ref.rate) + " Hz, this run at " +
                   floatText(place.rate) + " Hz";
    const size_t n = std::max(ref.samples.size(), c.samples.size());
    std::vector<float> diff(n, 0.0f);
    size_t first = n;
    for (size_t i = 0; i < n; ++i) {
        const double a = i < c.samples.size() ? c.samples[i] : 0.0;
        const double b = i < ref.samples.size() ? ref.samples[i] : 0.0;
        diff[i] = static_cast<float>(a - b);
        const bool differs =
            i >= c.samples.size() || i >= ref.samples.size() || !(std::fabs(a - b) <= e.tolerance);
        if (differs && first == n)
            first = i;
    }
    if (mismatch.empty() && first == n) {
        v.holds = true;
        v.actual = std::to_string(n) + " samples agree with " + place.reference;
        return v;
    }
    if (mismatch.empty()) {
        if (first >= c.samples.size())
            mismatch = "the run gave " + std::to_string(c.samples.size()) +
                       " samples, the reference has " + std::to_string(ref.samples.size());
        else if (first >= ref.samples.size())
            mismatch = "the reference ends after " + std::to_string(ref.samples.size()) +
                       " samples, the run gave " + std::to_string(c.samples.size());
        else
            mismatch = "the first difference is at " + where(c, first) + ": " +
                       sampleText(c.samples[first]) + ", the reference has " +
                       sampleText(ref.samples[first]);
    }
    const std::string diffPath = (folder / (stem + ".diff.wav")).string();
    const std::string actualPath = (folder / (stem + ".actual.wav")).string();
    writeWav(diffPath, place.rate, diff);
    writeWav(actualPath, place.rate, c.samples);
    v.actual =
        mismatch + "; the difference is in " + diffPath + ", this run's samples in " + actualPath;
    return v;
}

} // namespace wqhost
