// TestModules.h - audio-side objects of the tests' own.
//
// SpyModule records every virtual operation that runs, with its arguments,
// and then does what the base class does. DeclarationModule declares the
// pins of a table the test gives it and records which declarations were
// asked for.
#pragma once

#include "tests/support/AudioHostSpy.h"
#include "wq_sdk2/WQModule_base.h"

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace test {

class SpyModule : public WQModule_base {
public:
    explicit SpyModule(AudioHostSpy *host)
        : WQModule_base(host ? &AudioHostSpy::callback : nullptr, host ? host->hostValue() : 0) {}
    SpyModule(AudioHostSpy *host, std::vector<std::string> *destroyed) : SpyModule(host) {
        m_destroyed = destroyed;
    }
    // Hands the log, ended by "destructor", to whoever outlives the object.
    ~SpyModule() override {
        if (m_destroyed) {
            *m_destroyed = log;
            m_destroyed->push_back("destructor");
        }
    }

    void onPinStatusChange(WQPin *pin) override {
        record("onPinStatusChange", pin->index(), pin->status());
        WQModule_base::onPinStatusChange(pin);
    }
    void handleEvent(WQEvent *e) override {
        record("handleEvent", e->event_type);
        WQModule_base::handleEvent(e);
    }
    void open() override {
        record("open");
        WQModule_base::open();
    }
    void close() override { record("close"); }
    void spareHook1() override { record("spareHook1"); }
    void setSampleRate(float rate) override {
        record("setSampleRate", rate);
        WQModule_base::setSampleRate(rate);
    }
    void setBlockSize(int32_t size) override {
        record("setBlockSize", size);
        WQModule_base::setBlockSize(size);
    }
    bool getPinProperties(int32_t index, WQPinProperties *properties) override {
        record("getPinProperties", index);
        return WQModule_base::getPinProperties(index, properties);
    }
    void onHostOpcode8() override { record("onHostOpcode8"); }
    void onHostOpcode8Index(int32_t index) override { record("onHostOpcode8Index", index); }
    void onEventType2(uint32_t time_stamp, int32_t value, int16_t value2) override {
        record("onEventType2", time_stamp, value, value2);
    }
    void onHostOpcode12(int32_t value, int32_t index, void *ptr) override {
        record("onHostOpcode12", value, index, reinterpret_cast<intptr_t>(ptr));
    }

    // Members that tests install as process functions or delayed calls.
    void plainMember() { record("plainMember"); }
    virtual void virtualMember() { record("SpyModule::virtualMember"); }
    void throwingMember() { throw std::runtime_error("escaping"); }

    std::vector<std::string> log;

protected:
    template <class... Args> void record(const char *name, Args... args) {
        std::ostringstream line;
        line << name;
        ((line << ' ' << +args), ...);
        log.push_back(line.str());
    }

private:
    std::vector<std::string> *m_destroyed = nullptr;
};

// Overrides the virtual member, so a delayed call through the base's
// reference must reach this one.
class DerivedSpyModule : public SpyModule {
public:
    using SpyModule::SpyModule;
    void virtualMember() override { record("DerivedSpyModule::virtualMember"); }
};

// A declaration as a test writes it.
struct Declaration {
    uint32_t flags;
    int32_t datatype;
    void *variable;
    int32_t direction;
};

class DeclarationModule : public WQModule_base {
public:
    DeclarationModule(AudioHostSpy *host, std::vector<Declaration> declarations)
        : WQModule_base(&AudioHostSpy::callback, host->hostValue()),
          m_declarations(std::move(declarations)) {}

    bool getPinProperties(int32_t index, WQPinProperties *properties) override {
        asked.push_back(index);
        if (index < 0 || static_cast<size_t>(index) >= m_declarations.size())
            return false;
        const Declaration &d = m_declarations[static_cast<size_t>(index)];
        properties->flags = d.flags;
        properties->datatype = d.datatype;
        properties->variable = d.variable;
        properties->direction = d.direction;
        return true;
    }

    void onPinStatusChange(WQPin *pin) override {
        status_seen.push_back({pin->index(), pin->status()});
        pins_seen.push_back(pin);
    }

    std::vector<int32_t> asked;
    std::vector<std::pair<int32_t, int32_t>> status_seen; // (pin index, status during the call)
    std::vector<WQPin *> pins_seen;

private:
    std::vector<Declaration> m_declarations;
};

} // namespace test
