// The checks of the library itself: its exports, the description queries
// for index 0 and for other indices, and the types makeModule refuses.
#include "host/core/AudioHost.h"
#include "host/text/NumberText.h"
#include "host/checks/CheckSupport.h"
#include "host/platform/StackPaint.h"
#include "host/checks/RawHost.h"
#include "host/describe/TextReport.h"
#include "host/platform/UntrustedText.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

namespace wqhost {

namespace {

// A pattern the host puts into records before a query, so that fields the
// module does not write can be told from fields it writes.
constexpr unsigned char kPatternByte = 0xA5;

std::string joined(const std::vector<std::string> &items) {
    std::string out;
    for (const std::string &i : items)
        out += (out.empty() ? "" : ", ") + i;
    return out;
}

std::string joinedNumbers(const std::vector<int64_t> &numbers) {
    std::vector<std::string> items;
    for (int64_t n : numbers)
        items.push_back(std::to_string(n));
    return joined(items);
}

// A description text as the checks show it, read without trusting it.
std::string textOrNull(const char *text) {
    return text ? quoteText(UntrustedText::read(text, kMaxNameText).text) : "null";
}

// Named fields of a description record that differ between two records.
std::vector<std::string> changedDescriptionFields(const WQModuleDescription &a,
                                                  const WQModuleDescription &b) {
    std::vector<std::string> out;
    if (a.name != b.name)
        out.push_back("name");
    if (a.id != b.id)
        out.push_back("id");
    if (a.about != b.about)
        out.push_back("about");
    if (a.flags != b.flags)
        out.push_back("flags");
    if (a.guiFlags != b.guiFlags)
        out.push_back("guiFlags");
    return out;
}

} // namespace

// ---------------------------------------------------------------- library

void checkExports(CheckContext &ctx) {
    std::shared_ptr<const ModuleLibrary> library = ctx.library();
    if (!library->getModulePropertiesProc() || !library->makeModuleProc())
        ctx.unusable("'" + ctx.libraryPath() + "' lacks an export");
    // Loading runs only the runtime's start-up, unloading only its
    // shut-down: the library can go and come back.
    ctx.step("unloading the library and loading it again");
    library.reset();
    ctx.releaseLibrary();
    library = ctx.library();
    if (!library->getModulePropertiesProc() || !library->makeModuleProc())
        ctx.fail("after unloading and loading again an export no longer resolves");
}

void checkDescribeIndex0(CheckContext &ctx) {
    auto library = ctx.library();
    WQModuleDescription filled;
    std::memset(&filled, kPatternByte, sizeof filled);
    const WQModuleDescription pattern = filled;
    ctx.step("getModuleProperties(0) into a pre-filled record");
    const int32_t result = library->getModuleProperties(0, &filled, &ctx.log());
    if (result == 0)
        ctx.stop("getModuleProperties(0) returned 0: the library refuses its module 0");
    if (result != 1)
        ctx.fail("getModuleProperties(0) returned " + std::to_string(result) +
                 ", expected 1 (the result is a boolean, 0 or 1)");
    if (filled.sdkVersion != WQ_SDK_VERSION)
        ctx.fail("sdkVersion is " + std::to_string(filled.sdkVersion) +
                 " after getModuleProperties(0), expected " + std::to_string(WQ_SDK_VERSION));
    struct Text {
        const char *field;
        const char *value;
        const char *pattern;
    };
    const Text texts[] = {Text{"name", filled.name, pattern.name},
                          Text{"id", filled.id, pattern.id},
                          Text{"about", filled.about, pattern.about}};
    std::string readBack[3];
    bool readable[3] = {false, false, false};
    for (int i = 0; i < 3; ++i) {
        const Text &t = texts[i];
        if (t.value == t.pattern) {
            ctx.fail("getModuleProperties(0) did not write " + std::string(t.field));
        } else if (!t.value) {
            ctx.fail("getModuleProperties(0) wrote a null " + std::string(t.field) +
                     ", expected a text");
        } else {
            const UntrustedText read = UntrustedText::read(t.value, kMaxNameText);
            readable[i] = read.ok();
            readBack[i] = read.text;
            if (!read.ok())
                ctx.fail("the " + std::string(t.field) + " of getModuleProperties(0) " +
                         read.fault(kMaxNameText) + ": a description text ends with a NUL within " +
                         std::to_string(kMaxNameText) + " bytes");
        }
    }
    // The texts live as long as the library: read again once the stack the
    // call ran on has been used by other calls, they are the same.
    ctx.step("the description texts read again after the stack was overwritten");
    paintStackBelow(kPatternByte);
    for (int i = 0; i < 3; ++i) {
        if (!readable[i])
            continue;
        const UntrustedText again = UntrustedText::read(texts[i].value, kMaxNameText);
        if (!again.ok() || again.text != readBack[i])
            ctx.fail("the " + std::string(texts[i].field) + " of getModuleProperties(0) was " +
                     quoteText(readBack[i]) +
                     " when the call returned and is no longer once the stack was used "
                     "again: it points into a buffer on the stack of the call; point it at a "
                     "constant or static text that lives as long as the library");
    }

    ctx.step("getModuleProperties(0) into a cleared record, twice");
    WQModuleDescription cleared;
    std::memset(&cleared, 0, sizeof cleared);
    const int32_t again = library->getModuleProperties(0, &cleared, &ctx.log());
    WQModuleDescription third;
    std::memset(&third, 0, sizeof third);
    library->getModuleProperties(0, &third, &ctx.log());
    if (again != result)
        ctx.fail("getModuleProperties(0) returned " + std::to_string(result) + ", then " +
                 std::to_string(again));
    if (cleared.flags != filled.flags || cleared.guiFlags != filled.guiFlags)
        ctx.fail("flags or guiFlags depend on what the host put in the record: " +
                 hexText(cleared.flags) + "/" + hexText(cleared.guiFlags) + " after a cleared, " +
                 hexText(filled.flags) + "/" + hexText(filled.guiFlags) +
                 " after a pre-filled one");
    if (filled.name == pattern.name || filled.id == pattern.id || filled.about == pattern.about)
        return; // reported above; the texts cannot be read
    const char *firstTexts[] = {filled.name, filled.id, filled.about};
    const char *clearedTexts[] = {cleared.name, cleared.id, cleared.about};
    const char *thirdTexts[] = {third.name, third.id, third.about};
    const char *names[] = {"name", "id", "about"};
    auto textAt = [](const char *p) { return UntrustedText::read(p, kMaxNameText).text; };
    for (int i = 0; i < 3; ++i) {
        const std::string a = textAt(firstTexts[i]);
        const std::string b = textAt(clearedTexts[i]);
        const std::string c = textAt(thirdTexts[i]);
        if (a != b || b != c)
            ctx.fail(std::string(names[i]) + " differs between queries: " +
                     textOrNull(firstTexts[i]) + ", " + textOrNull(clearedTexts[i]) + ", " +
                     textOrNull(thirdTexts[i]) + " (the texts are constants of the library)");
    }
}

void checkDescribeOtherIndex(CheckContext &ctx) {
    auto library = ctx.library();
    std::vector<int32_t> indices = {1, 2, -1, 255, 1000, INT32_MAX, INT32_MIN};
    for (int i = 0; i < 3; ++i) {
        int32_t r = static_cast<int32_t>(ctx.any32());
        indices.push_back(r == 0 ? 3 : r);
    }
    std::vector<int64_t> accepted, noVersion, touched;
    std::set<std::string> touchedFields;
    for (int32_t index : indices) {
        WQModuleDescription record;
        std::memset(&record, kPatternByte, sizeof record);
        const WQModuleDescription pattern = record;
        ctx.step("getModuleProperties(" + std::to_string(index) + ")");
        const int32_t result = library->getModuleProperties(index, &record, &ctx.log());
        if (result != 0)
            accepted.push_back(index);
        if (record.sdkVersion != WQ_SDK_VERSION)
            noVersion.push_back(index);
        const std::vector<std::string> changed = changedDescriptionFields(pattern, record);
        if (!changed.empty()) {
            touched.push_back(index);
            touchedFields.insert(changed.begin(), changed.end());
        }
    }
    if (!accepted.empty())
        ctx.fail("getModuleProperties returned non-zero for index " + joinedNumbers(accepted) +
                 ", expected 0: a library holds one module, at index 0");
    if (!noVersion.empty())
        ctx.fail("sdkVersion was not " + std::to_string(WQ_SDK_VERSION) +
                 " after getModuleProperties for index " + joinedNumbers(noVersion) +
                 ": it is written for every index, also when the query is refused");
    if (!touched.empty())
        ctx.fail("getModuleProperties for index " + joinedNumbers(touched) + " changed " +
                 joined(std::vector<std::string>(touchedFields.begin(), touchedFields.end())) +
                 ": a refused query leaves the fields as the host filled them");
}

void checkMakeModuleRefusals(CheckContext &ctx) {
    ctx.library();
    RawHost raw(ctx);
    struct Case {
        int32_t index;
        int32_t type;
    };
    std::vector<Case> cases = {{0, 0},         {0, 3},         {0, -1},       {0, 4}, {0, 100},
                               {0, INT32_MAX}, {0, INT32_MIN}, {1, 1},        {1, 2}, {-1, 1},
                               {-1, 2},        {2, 2},         {INT32_MAX, 1}};
    for (int i = 0; i < 4; ++i) {
        int32_t type = static_cast<int32_t>(ctx.any32());
        cases.push_back({0, type == 1 || type == 2 ? 5 : type});
    }
    for (int i = 0; i < 2; ++i) {
        int32_t index = static_cast<int32_t>(ctx.any32());
        cases.push_back({index == 0 ? 9 : index, 1 + static_cast<int32_t>(ctx.below(2))});
    }
    for (const Case &c : cases) {
        const std::string call =
            "makeModule(" + std::to_string(c.index) + ", " + std::to_string(c.type) + ")";
        ctx.step(call);
        const size_t before = raw.callbacks().size();
        void *record = raw.make(c.index, c.type, 0x5A5A);
        if (record)
            ctx.fail(call + " returned an object, expected null: " +
                     (c.index != 0 ? "the library has no module " + std::to_string(c.index)
                                   : std::string("the object types are 1 (audio) and 2 (GUI)")));
        if (raw.callbacks().size() != before)
            ctx.fail(call + " called the host although it creates nothing");
        // An object made against the rules is left alone: closing it through
        // a record of unknown form could itself crash.
    }
}

} // namespace wqhost
