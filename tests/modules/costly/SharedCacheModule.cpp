// "Shared Cache", a module whose time per object grows with the number of
// objects, for the tests of `wqhost cost`: every object puts its table into
// one static list, and each process call brings a shared sum up to date by
// walking the tables of every live object, not only its own. Pin 0 "IN",
// pin 1 "OUT" (IN plus the shared sum, scaled to nearly nothing).
#include "wq_sdk2/WQMemberRef.h"
#include "wq_sdk2/WQModule_base.h"
#include "wq_sdk2/wq_module_entry.h"

#include <algorithm>
#include <vector>

namespace {

constexpr int32_t kIn = 0;
constexpr int32_t kOut = 1;
constexpr int kTableSize = 8192;
constexpr int kWalks = 4; // walks of each table per call

class SharedCache;

// The fault: state all objects share.
std::vector<SharedCache *> &liveObjects() {
    static std::vector<SharedCache *> objects;
    return objects;
}

class SharedCache : public WQModule_base {
public:
    SharedCache(WQHostCallback hostCallback, intptr_t hostValue)
        : WQModule_base(hostCallback, hostValue), m_table(kTableSize, 0.5f) {
        liveObjects().push_back(this);
    }
    ~SharedCache() override {
        auto &objects = liveObjects();
        objects.erase(std::remove(objects.begin(), objects.end(), this), objects.end());
    }

    bool getPinProperties(int32_t index, WQPinProperties *properties) override {
        switch (index) {
        case kIn:
            properties->name = "IN";
            properties->direction = DR_IN;
            break;
        case kOut:
            properties->name = "OUT";
            properties->direction = DR_OUT;
            break;
        default: return false;
        }
        properties->datatype = DT_FSAMPLE;
        properties->variable = nullptr;
        properties->flags = 0;
        return true;
    }

    void open() override {
        setProcessFunction(wq::memberRef<&SharedCache::process>());
        WQModule_base::open();
    }

private:
    void process() {
        if (pinCount() <= kOut)
            return;
        const float *in = getPin(kIn)->storage().buffer;
        float *out = getPin(kOut)->storage().buffer;
        if (!in || !out)
            return;
        float shared = 0.0f;
        for (const SharedCache *object : liveObjects())
            for (int w = 0; w < kWalks; ++w)
                for (float v : object->m_table)
                    shared = shared * 0.5f + v;
        const int32_t n = blockSize();
        for (int32_t i = 0; i < n; ++i)
            out[i] = in[i] + shared * 1e-12f;
    }

    std::vector<float> m_table;
};

constexpr char kName[] = "Shared Cache";
constexpr char kAbout[] = "Walks the tables of every live object in each process call";
constexpr wq::ModuleDescription kSharedCache = {kName, kName, kAbout, 512, 256};

} // namespace

WQ_MODULE_ENTRY_POINTS(kSharedCache, SharedCache, void);
