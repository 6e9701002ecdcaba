#include "host/audio/SignalSource.h"

#include "host/audio/ExactSine.h"
#include "host/audio/NoiseSequence.h"
#include "host/audio/WavFile.h"
#include "host/pins/PinStore.h"
#include "host/text/NumberText.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace wqhost {

namespace {

[[noreturn]] void fail(const std::string &message) { throw std::invalid_argument(message); }

double number(const std::vector<std::string> &words, size_t i, const std::string &what) {
    if (i >= words.size())
        fail("'signal' needs " + what);
    const std::string &w = words[i];
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(w.c_str(), &end);
    if (w.empty() || end != w.c_str() + w.size() || !std::isfinite(v) ||
        std::fabs(v) > 3.4028234e38)
        fail("'signal' needs " + what + ", not '" + w + "'");
    return v;
}

uint64_t count(const std::vector<std::string> &words, size_t i, const std::string &what) {
    if (i >= words.size())
        fail("'signal' needs " + what);
    const std::string &w = words[i];
    if (w.empty() || w.size() > 18 || w.find_first_not_of("0123456789") != std::string::npos)
        fail("'signal' needs " + what + " (a whole number, 0 or more), not '" + w + "'");
    return std::strtoull(w.c_str(), nullptr, 10);
}

void done(const std::vector<std::string> &words, size_t n) {
    if (words.size() > n)
        fail("too many words after 'signal " + words[0] + "': '" + words[n] + "'");
}

class Constant : public SignalSource {
public:
    explicit Constant(SignalSetting s) : SignalSource(std::move(s)) {}
    void render(uint64_t, float *out, uint32_t count) const override {
        std::fill(out, out + count, setting().value);
    }
    bool isConstant() const noexcept override { return true; }
};

class Sine : public SignalSource {
public:
    Sine(SignalSetting s, double rate) : SignalSource(std::move(s)), m_rate(rate) {}
    void render(uint64_t n, float *out, uint32_t count) const override {
        for (uint32_t i = 0; i < count; ++i)
            out[i] = sineSample(setting().hz, setting().value, m_rate, n + i);
    }

private:
    double m_rate;
};

class Impulse : public SignalSource {
public:
    explicit Impulse(SignalSetting s) : SignalSource(std::move(s)) {}
    void render(uint64_t n, float *out, uint32_t count) const override {
        std::fill(out, out + count, 0.0f);
        if (setting().at >= n && setting().at - n < count)
            out[setting().at - n] = 1.0f;
    }
};

class Step : public SignalSource {
public:
    explicit Step(SignalSetting s) : SignalSource(std::move(s)) {}
    void render(uint64_t n, float *out, uint32_t count) const override {
        for (uint32_t i = 0; i < count; ++i)
            out[i] = n + i < setting().at ? 0.0f : setting().value;
    }
};

class Noise : public SignalSource {
public:
    explicit Noise(SignalSetting s) : SignalSource(std::move(s)) {}
    void render(uint64_t n, float *out, uint32_t count) const override {
        for (uint32_t i = 0; i < count; ++i)
            out[i] = noiseSample(setting().value, setting().seed, n + i);
    }
};

class File : public SignalSource {
public:
    File(SignalSetting s, std::vector<float> samples)
        : SignalSource(std::move(s)), m_samples(std::move(samples)) {}
    void render(uint64_t n, float *out, uint32_t count) const override {
        for (uint32_t i = 0; i < count; ++i)
            out[i] = n + i < m_samples.size() ? m_samples[static_cast<size_t>(n + i)] : 0.0f;
    }

private:
    std::vector<float> m_samples;
};

} // namespace

SignalSetting parseSignalSpec(const std::vector<std::string> &words) {
    if (words.empty())
        fail("'signal' needs a source: constant, sine, impulse, step, noise or file");
    SignalSetting s;
    const std::string &kind = words[0];
    if (kind == "constant") {
        s.kind = SignalSetting::Kind::Constant;
        s.value = static_cast<float>(number(words, 1, "a value (constant V)"));
        done(words, 2);
    } else if (kind == "sine") {
        s.kind = SignalSetting::Kind::Sine;
        s.hz = number(words, 1, "a frequency in Hz (sine HZ AMP)");
        if (s.hz < 0.0)
            fail("a sine's frequency is 0 Hz or more");
        s.value = static_cast<float>(number(words, 2, "an amplitude (sine HZ AMP)"));
        done(words, 3);
    } else if (kind == "impulse") {
        s.kind = SignalSetting::Kind::Impulse;
        if (words.size() > 1)
            s.at = count(words, 1, "the sample of the impulse (impulse [AT])");
        done(words, 2);
    } else if (kind == "step") {
        s.kind = SignalSetting::Kind::Step;
        s.value = static_cast<float>(number(words, 1, "a value (step V AT)"));
        s.at = count(words, 2, "the sample where it steps (step V AT)");
        done(words, 3);
    } else if (kind == "noise") {
        s.kind = SignalSetting::Kind::Noise;
        s.value = static_cast<float>(number(words, 1, "an amplitude (noise AMP [SEED])"));
        if (words.size() > 2)
            s.seed = count(words, 2, "a seed (noise AMP [SEED])");
        done(words, 3);
    } else if (kind == "file") {
        s.kind = SignalSetting::Kind::File;
        if (words.size() < 2 || words[1].empty())
            fail("'signal' needs a WAV file (file PATH.wav)");
        s.path = words[1];
        done(words, 2);
    } else {
        fail("'signal' takes constant, sine, impulse, step, noise or file, not '" + kind + "'");
    }
    return s;
}

std::string signalText(const SignalSetting &s) {
    const std::string v = PinStore::formatFloat(s.value);
    switch (s.kind) {
    case SignalSetting::Kind::Constant: return "constant " + v;
    case SignalSetting::Kind::Sine: return "sine " + floatText(s.hz, 10) + " " + v;
    case SignalSetting::Kind::Impulse: return "impulse " + std::to_string(s.at);
    case SignalSetting::Kind::Step: return "step " + v + " " + std::to_string(s.at);
    case SignalSetting::Kind::Noise: return "noise " + v + " " + std::to_string(s.seed);
    case SignalSetting::Kind::File: return "file " + s.path;
    }
    return std::string();
}

std::unique_ptr<SignalSource> makeSignal(const SignalSetting &setting, double rate,
                                         const std::string &folder) {
    switch (setting.kind) {
    case SignalSetting::Kind::Constant: return std::make_unique<Constant>(setting);
    case SignalSetting::Kind::Sine: return std::make_unique<Sine>(setting, rate);
    case SignalSetting::Kind::Impulse: return std::make_unique<Impulse>(setting);
    case SignalSetting::Kind::Step: return std::make_unique<Step>(setting);
    case SignalSetting::Kind::Noise: return std::make_unique<Noise>(setting);
    case SignalSetting::Kind::File: {
        std::filesystem::path path(setting.path);
        if (path.is_relative() && !folder.empty())
            path = std::filesystem::path(folder) / path;
        WavData data = readWav(path.string());
        return std::make_unique<File>(setting, std::move(data.samples));
    }
    }
    return nullptr;
}

} // namespace wqhost
