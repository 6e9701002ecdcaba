#include "host/validate/ValidationReport.h"

#include "host/checks/CheckSupport.h"

#include "host/text/NumberText.h"
#include "host/text/JsonText.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

namespace wqhost {

namespace {

// The sides the probe found, by name ("audio", "gui"), for the reports.
std::vector<std::string> sideNames(const CheckOutcome &probe) {
    std::vector<std::string> names;
    if (probe.hasAudio)
        names.push_back("audio");
    if (probe.hasGui)
        names.push_back("gui");
    return names;
}

const char *resultWord(CheckOutcome::Result r) {
    switch (r) {
    case CheckOutcome::Result::Pass: return "pass";
    case CheckOutcome::Result::Fail: return "fail";
    case CheckOutcome::Result::Skip: return "skip";
    }
    return "fail";
}

// Text for XML: markup characters escaped, control bytes that XML 1.0
// cannot carry shown as \xNN, other bytes as JsonText maps them.
std::string xmlText(const std::string &bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                out += "\\x" + hexDigits(c, 2);
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return bytesToUtf8(out);
}

std::string seconds(double s) { return fixedText(s, 3); }

} // namespace

ValidationSummary summarize(const std::vector<CheckOutcome> &outcomes) {
    ValidationSummary s;
    for (const CheckOutcome &o : outcomes) {
        switch (o.result) {
        case CheckOutcome::Result::Pass:
            ++s.passed;
            if (!o.warnings.empty())
                ++s.warned;
            break;
        case CheckOutcome::Result::Fail: ++s.failed; break;
        case CheckOutcome::Result::Skip: ++s.skipped; break;
        }
    }
    return s;
}

void warningsFail(CheckOutcome &o) {
    if (o.result == CheckOutcome::Result::Skip && o.couldNotRun) {
        // A check that could not run proves nothing: a strict run fails.
        o.result = CheckOutcome::Result::Fail;
        o.failedOnWarnings = true;
        o.details.insert(o.details.begin(), "the check could not run here (--strict fails a run "
                                            "in which a check could not run)");
        if (!o.reproduce.empty())
            o.reproduce += " --strict";
        return;
    }
    if (o.result != CheckOutcome::Result::Pass || o.warnings.empty())
        return;
    o.result = CheckOutcome::Result::Fail;
    o.failedOnWarnings = true;
    o.details = o.warnings;
    if (!o.reproduce.empty())
        o.reproduce += " --strict";
}

std::vector<RootCause> rootCauses(const std::vector<CheckOutcome> &outcomes) {
    std::vector<RootCause> causes;
    for (const CheckOutcome &o : outcomes) {
        if (o.result != CheckOutcome::Result::Fail || o.details.empty())
            continue;
        std::string text = o.details.front();
        if (o.crashed) {
            // The innermost running call is the place; the outer ones are
            // how each check got there.
            const size_t in = text.find(" in ");
            const size_t last = o.runningCalls.rfind(" > ");
            const std::string innermost =
                last == std::string::npos ? o.runningCalls : o.runningCalls.substr(last + 3);
            if (in != std::string::npos && !o.runningCalls.empty())
                text = text.substr(0, in) + " in " + innermost;
        }
        auto same = std::find_if(causes.begin(), causes.end(),
                                 [&](const RootCause &c) { return c.text == text; });
        if (same == causes.end())
            causes.push_back({text, {o.name}});
        else
            same->checks.push_back(o.name);
    }
    causes.erase(std::remove_if(causes.begin(), causes.end(),
                                [](const RootCause &c) { return c.checks.size() < 2; }),
                 causes.end());
    std::stable_sort(causes.begin(), causes.end(), [](const RootCause &a, const RootCause &b) {
        return a.checks.size() > b.checks.size();
    });
    return causes;
}

std::string formatRootCauses(const std::vector<RootCause> &causes) {
    std::string out;
    for (const RootCause &c : causes) {
        out += "root cause: " + std::to_string(c.checks.size()) + " checks " + c.text + " (";
        for (size_t i = 0; i < c.checks.size(); ++i)
            out += (i ? ", " : "") + c.checks[i];
        out += ")\n";
    }
    return out;
}

namespace {

// The crashed thread's frames and the calls that led to the crash, each
// line led by `indent`.
std::string crashStack(const CheckOutcome &o, const std::string &indent) {
    std::string out;
    if (!o.frames.empty()) {
        out += indent + "stack of the crashed thread, innermost first:\n";
        for (size_t i = 0; i < o.frames.size(); ++i)
            out += indent + "  #" + std::to_string(i) + " " + o.frames[i] + "\n";
    }
    if (!o.lastCalls.empty()) {
        out += indent + "last calls, oldest first:\n";
        for (const std::string &call : o.lastCalls)
            out += indent + "  " + call + "\n";
    }
    return out;
}

} // namespace

std::string formatOutcome(const CheckOutcome &o, bool verbose) {
    std::string out;
    switch (o.result) {
    case CheckOutcome::Result::Pass:
        if (o.warnings.empty())
            return "PASS  " + o.name + "\n";
        out = "WARN  " + o.name + ": " + o.warnings.front() + "\n";
        for (size_t i = 1; i < o.warnings.size(); ++i)
            out += "      " + o.warnings[i] + "\n";
        return out;
    case CheckOutcome::Result::Skip:
        out = "SKIP  " + o.name;
        if (!o.details.empty())
            out += ": " + o.details.front();
        return out + "\n";
    case CheckOutcome::Result::Fail: break;
    }
    out = "FAIL  " + o.name;
    if (!o.details.empty())
        out += ": " + o.details.front();
    out += "\n";
    for (size_t i = 1; i < o.details.size(); ++i)
        out += "      " + o.details[i] + "\n";
    out += crashStack(o, "      ");
    if (!o.reproduce.empty())
        out += "      reproduce: " + o.reproduce + "\n";
    if (verbose && !o.errorOutput.empty()) {
        size_t start = 0;
        while (start < o.errorOutput.size()) {
            size_t end = o.errorOutput.find('\n', start);
            if (end == std::string::npos)
                end = o.errorOutput.size();
            out += "      | " + o.errorOutput.substr(start, end - start) + "\n";
            start = end + 1;
        }
    }
    return out;
}

std::string formatSummary(const ValidationSummary &s) {
    return std::to_string(s.passed) + " passed, " + std::to_string(s.failed) + " failed, " +
           std::to_string(s.skipped) + " skipped" +
           (s.warned > 0 ? ", " + std::to_string(s.warned) + " warned" : std::string());
}

std::string validationJson(const ValidationRun &run) {
    using nlohmann::json;
    json checks = json::array();
    for (const CheckOutcome &o : run.outcomes) {
        json details = json::array();
        for (const std::string &d : o.details)
            details.push_back(bytesToUtf8(d));
        json warnings = json::array();
        for (const std::string &w : o.warnings)
            warnings.push_back(bytesToUtf8(w));
        json check = {{"name", o.name},       {"result", resultWord(o.result)},
                      {"details", details},   {"warnings", warnings},
                      {"crashed", o.crashed}, {"timedOut", o.timedOut},
                      {"seconds", o.seconds}};
        // A round of --repeat: the seed it ran with.
        if (o.seed != run.seed && o.seed != 0)
            check["seed"] = o.seed;
        if (o.result == CheckOutcome::Result::Fail)
            check["reproduce"] = bytesToUtf8(o.reproduce);
        if (o.couldNotRun)
            check["couldNotRun"] = true;
        if (o.result == CheckOutcome::Result::Fail && !o.errorOutput.empty())
            check["errorOutput"] = bytesToUtf8(o.errorOutput);
        if (o.crashed) {
            check["runningCalls"] = bytesToUtf8(o.runningCalls);
            check["lastStep"] = bytesToUtf8(o.lastStep);
            check["moduleOutput"] = bytesToUtf8(o.moduleOutput);
            json frames = json::array();
            for (const std::string &f : o.frames)
                frames.push_back(bytesToUtf8(f));
            check["frames"] = frames;
            json calls = json::array();
            for (const std::string &c : o.lastCalls)
                calls.push_back(bytesToUtf8(c));
            check["lastCalls"] = calls;
        }
        checks.push_back(std::move(check));
    }
    const ValidationSummary s = summarize(run.outcomes);
    const json sides = run.sides.sidesKnown ? json(sideNames(run.sides)) : json(nullptr);
    json doc = {{"library", bytesToUtf8(run.library)},
                {"seed", run.seed},
                {"timeout", run.timeoutSeconds},
                {"sides", sides},
                {"checks", checks},
                {"passed", s.passed},
                {"failed", s.failed},
                {"skipped", s.skipped},
                {"warned", s.warned}};
    json causes = json::array();
    for (const RootCause &c : rootCauses(run.outcomes))
        causes.push_back({{"cause", bytesToUtf8(c.text)}, {"checks", c.checks}});
    doc["rootCauses"] = causes;
    return doc.dump(2) + "\n";
}

std::string formatSidesNote(const CheckOutcome &probe) {
    if (probe.sidesKnown) {
        if (probe.hasAudio && probe.hasGui)
            return std::string();
        if (probe.hasAudio || probe.hasGui)
            return "note: " + missingSideText(probe.hasAudio ? Side::Gui : Side::Audio) +
                   ": that side's checks are skipped\n";
    }
    if (probe.name.empty())
        return std::string(); // the probe did not run: the library is unusable
    std::string why =
        probe.details.empty() ? std::string("the probe gave no reason") : probe.details.front();
    if (probe.crashed)
        return "note: which sides the module has is not known: the probe that makes an object "
               "of each side " +
               why + "\n";
    return "note: " + why + "\n"; // it makes no object at all
}

std::string validationJunit(const ValidationRun &run) {
    const ValidationSummary s = summarize(run.outcomes);
    double total = 0.0;
    for (const CheckOutcome &o : run.outcomes)
        total += o.seconds;
    const std::string counts = "tests=\"" + std::to_string(run.outcomes.size()) + "\" failures=\"" +
                               std::to_string(s.failed) + "\" skipped=\"" +
                               std::to_string(s.skipped) + "\" errors=\"0\" time=\"" +
                               seconds(total) + "\"";
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<testsuites name=\"wqhost validate\" " + counts + ">\n";
    out += "  <testsuite name=\"" + xmlText(run.library) + "\" " + counts + ">\n";
    out += "    <properties>\n";
    out += "      <property name=\"library\" value=\"" + xmlText(run.library) + "\"/>\n";
    out += "      <property name=\"seed\" value=\"" + std::to_string(run.seed) + "\"/>\n";
    std::string sides = run.sides.sidesKnown ? std::string() : std::string("unknown");
    for (const std::string &name : sideNames(run.sides))
        sides += sides.empty() ? name : " " + name;
    out += "      <property name=\"sides\" value=\"" + sides + "\"/>\n";
    out += "    </properties>\n";
    for (const CheckOutcome &o : run.outcomes) {
        const std::string round = o.seed != run.seed && o.seed != 0
                                      ? " (seed " + std::to_string(o.seed) + ")"
                                      : std::string();
        out += "    <testcase classname=\"wqhost.validate\" name=\"" + xmlText(o.name + round) +
               "\" time=\"" + seconds(o.seconds) + "\"";
        if (o.result == CheckOutcome::Result::Pass && o.warnings.empty()) {
            out += "/>\n";
            continue;
        }
        out += ">\n";
        if (o.result == CheckOutcome::Result::Pass) {
            out += "      <system-out>" + xmlText(formatOutcome(o)) + "</system-out>\n";
            out += "    </testcase>\n";
            continue;
        }
        const std::string first = o.details.empty() ? std::string() : o.details.front();
        if (o.result == CheckOutcome::Result::Skip) {
            out += "      <skipped message=\"" + xmlText(first) + "\"/>\n";
        } else {
            const char *type = o.timedOut           ? "hang"
                               : o.crashed          ? "crash"
                               : o.failedOnWarnings ? "warning"
                                                    : "check";
            std::string body;
            for (const std::string &d : o.details)
                body += d + "\n";
            body += crashStack(o, std::string());
            body += "reproduce: " + o.reproduce + "\n";
            out += "      <failure type=\"" + std::string(type) + "\" message=\"" + xmlText(first) +
                   "\">" + xmlText(body) + "</failure>\n";
            if (!o.errorOutput.empty())
                out += "      <system-err>" + xmlText(o.errorOutput) + "</system-err>\n";
        }
        out += "    </testcase>\n";
    }
    out += "  </testsuite>\n</testsuites>\n";
    return out;
}

} // namespace wqhost
