// How validation outcomes are written: the check lines and the summary line
// that CI reads, the JSON document, the JUnit file, and command words.
#include "host/text/JsonText.h"
#include "host/validate/ValidationReport.h"
#include "host/validate/Validator.h"
#include "tests/support/TextChecks.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

using namespace wqhost;

namespace {

CheckOutcome outcome(const std::string &name, CheckOutcome::Result result,
                     std::vector<std::string> details = {}) {
    CheckOutcome o;
    o.name = name;
    o.result = result;
    o.details = std::move(details);
    o.reproduce = "wqhost validate lib.so --only " + name + " --seed 7";
    o.seconds = 0.5;
    return o;
}

ValidationRun sampleRun() {
    ValidationRun run;
    run.library = "lib/caf\xe9<1>.so";
    run.seed = 7;
    run.timeoutSeconds = 10;
    run.outcomes.push_back(outcome("exports", CheckOutcome::Result::Pass));
    run.outcomes.push_back(outcome("events", CheckOutcome::Result::Fail,
                                   {"AH_ADD_EVENT at 3 lies before the clock & more", "second"}));
    CheckOutcome crash = outcome("pin-changes", CheckOutcome::Result::Fail,
                                 {"crashed (signal 11 (SIGSEGV)) in gui GD_PIN_CHANGED index=0"});
    crash.crashed = true;
    crash.runningCalls = "gui GD_PIN_CHANGED index=0";
    run.outcomes.push_back(crash);
    run.outcomes.push_back(
        outcome("nested-echo", CheckOutcome::Result::Skip, {"the module declares no pins"}));
    return run;
}

TEST(ValidationReportTest, OneLinePerCheckWithDetailsAndTheReproducingCommand) {
    const ValidationRun run = sampleRun();
    EXPECT_EQ(formatOutcome(run.outcomes[0]), "PASS  exports\n");
    EXPECT_EQ(formatOutcome(run.outcomes[1]),
              "FAIL  events: AH_ADD_EVENT at 3 lies before the clock & more\n"
              "      second\n"
              "      reproduce: wqhost validate lib.so --only events --seed 7\n");
    EXPECT_EQ(formatOutcome(run.outcomes[3]), "SKIP  nested-echo: the module declares no pins\n");
}

// The header's line about the module's sides: silent for a module with
// both, one line for a missing side, why they are not known when the probe
// crashed, and the probe's own finding for a module that makes no object.
struct SidesCase {
    const char *name;
    bool known;
    bool audio;
    bool gui;
    bool crashed;
    const char *detail;
    const char *note; // the line, or "" for none
    const char *json; // the report's "sides"
};

void PrintTo(const SidesCase &c, std::ostream *os) { *os << c.name; }

class SidesNoteTest : public ::testing::TestWithParam<SidesCase> {};

TEST_P(SidesNoteTest, HeaderLineAndReports) {
    const SidesCase &c = GetParam();
    ValidationRun run = sampleRun();
    run.sides =
        outcome("module-sides", c.detail ? CheckOutcome::Result::Fail : CheckOutcome::Result::Pass);
    if (c.detail)
        run.sides.details = {c.detail};
    run.sides.sidesKnown = c.known;
    run.sides.hasAudio = c.audio;
    run.sides.hasGui = c.gui;
    run.sides.crashed = c.crashed;
    EXPECT_EQ(formatSidesNote(run.sides), c.note);
    EXPECT_EQ(nlohmann::json::parse(validationJson(run))["sides"], nlohmann::json::parse(c.json));
}

const SidesCase kSidesCases[] = {
    {"Both", true, true, true, false, nullptr, "", R"(["audio","gui"])"},
    {"AudioOnly", true, true, false, false, nullptr,
     "note: the module has no GUI side (makeModule(0, 2) gives null, as for a GUI class declared "
     "void): that side's checks are skipped\n",
     R"(["audio"])"},
    {"GuiOnly", true, false, true, false, nullptr,
     "note: the module has no audio side (makeModule(0, 1) gives null, as for an audio class "
     "declared void): that side's checks are skipped\n",
     R"(["gui"])"},
    {"Crashed", false, false, false, true, "crashed (signal 11 (SIGSEGV)) in gui GD_OPEN",
     "note: which sides the module has is not known: the probe that makes an object of each "
     "side crashed (signal 11 (SIGSEGV)) in gui GD_OPEN\n",
     "null"},
    {"NoObject", false, false, false, false, "the module makes no object at all",
     "note: the module makes no object at all\n", "null"},
};

INSTANTIATE_TEST_SUITE_P(Report, SidesNoteTest, ::testing::ValuesIn(kSidesCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ValidationReportTest, NoSidesNoteWhenTheProbeNeverRan) {
    EXPECT_EQ(formatSidesNote(CheckOutcome()), "");
    EXPECT_NE(validationJunit(sampleRun()).find("<property name=\"sides\" value=\"unknown\"/>"),
              std::string::npos);
}

TEST(ValidationReportTest, SummaryLineHasTheFormCiReads) {
    const ValidationSummary s = summarize(sampleRun().outcomes);
    EXPECT_EQ(s.passed, 1);
    EXPECT_EQ(s.failed, 2);
    EXPECT_EQ(s.skipped, 1);
    EXPECT_EQ(formatSummary(s), "1 passed, 2 failed, 1 skipped");
    unsigned p = 9, f = 9, k = 9;
    EXPECT_TRUE(wqtest::summaryLine(formatSummary(ValidationSummary()), p, f, k));
    EXPECT_EQ(p + f + k, 0u);
    EXPECT_FALSE(wqtest::summaryLine("1 passed, 2 failed, 1 skipped.", p, f, k));
}

TEST(ValidationReportTest, JsonCarriesEveryCheckAndTheCounts) {
    const auto doc = nlohmann::json::parse(validationJson(sampleRun()));
    EXPECT_EQ(utf8ToBytes(doc["library"].get<std::string>()), "lib/caf\xe9<1>.so");
    EXPECT_EQ(doc["seed"], 7);
    EXPECT_EQ(doc["passed"], 1);
    EXPECT_EQ(doc["failed"], 2);
    EXPECT_EQ(doc["skipped"], 1);
    ASSERT_EQ(doc["checks"].size(), 4u);
    EXPECT_EQ(doc["checks"][1]["result"], "fail");
    EXPECT_EQ(doc["checks"][1]["reproduce"], "wqhost validate lib.so --only events --seed 7");
    EXPECT_EQ(doc["checks"][2]["crashed"], true);
    EXPECT_EQ(doc["checks"][2]["runningCalls"], "gui GD_PIN_CHANGED index=0");
    EXPECT_FALSE(doc["checks"][0].contains("reproduce"));
}

TEST(ValidationReportTest, JunitHasOneTestcasePerCheckAndEscapesText) {
    const std::string xml = validationJunit(sampleRun());
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);
    EXPECT_NE(xml.find("tests=\"4\" failures=\"2\" skipped=\"1\" errors=\"0\""), std::string::npos);
    EXPECT_NE(xml.find("<testcase classname=\"wqhost.validate\" name=\"exports\" time=\"0.500\"/>"),
              std::string::npos);
    EXPECT_NE(xml.find("<failure type=\"check\" message=\"AH_ADD_EVENT at 3 lies before the "
                       "clock &amp; more\">"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<failure type=\"crash\""), std::string::npos);
    EXPECT_NE(xml.find("<skipped message=\"the module declares no pins\"/>"), std::string::npos);
    // The 8-bit byte of the library name is UTF-8 in the document; no raw
    // markup character survives.
    EXPECT_NE(xml.find("lib/caf\xc3\xa9&lt;1&gt;.so"), std::string::npos);
    size_t opened = 0, closed = 0;
    for (size_t at = 0; (at = xml.find("<testcase", at)) != std::string::npos; ++at)
        ++opened;
    for (size_t at = 0; (at = xml.find("</testcase>", at)) != std::string::npos; ++at)
        ++closed;
    EXPECT_EQ(opened, 4u);
    EXPECT_EQ(closed, 3u); // the passing check's testcase closes itself
}

// A passed check with warnings: a WARN line, counted as passed and warned,
// its warnings in JSON and in JUnit; --strict turns it into a failure.
TEST(ValidationReportTest, WarningsShowInEveryFormAndFailUnderStrict) {
    ValidationRun run;
    run.library = "lib.so";
    run.outcomes.push_back(outcome("exports", CheckOutcome::Result::Pass));
    CheckOutcome warned = outcome("pin-names", CheckOutcome::Result::Pass);
    warned.warnings = {"pin 1 (\"A\") has the name of pin 0", "pin 2 (\"\") has an empty name"};
    run.outcomes.push_back(warned);

    EXPECT_EQ(formatOutcome(warned), "WARN  pin-names: pin 1 (\"A\") has the name of pin 0\n"
                                     "      pin 2 (\"\") has an empty name\n");
    const ValidationSummary s = summarize(run.outcomes);
    EXPECT_EQ(formatSummary(s), "2 passed, 0 failed, 0 skipped, 1 warned");
    unsigned passed = 0, failed = 0, skipped = 0;
    EXPECT_TRUE(wqtest::summaryLine(formatSummary(s), passed, failed, skipped));

    const auto doc = nlohmann::json::parse(validationJson(run));
    EXPECT_EQ(doc["warned"], 1);
    EXPECT_EQ(doc["checks"][1]["result"], "pass");
    EXPECT_EQ(doc["checks"][1]["warnings"].size(), 2u);
    EXPECT_TRUE(doc["checks"][0]["warnings"].empty());
    const std::string junit = validationJunit(run);
    EXPECT_NE(junit.find("<system-out>WARN  pin-names: pin 1 (&quot;A&quot;)"), std::string::npos)
        << junit;
    EXPECT_NE(junit.find("failures=\"0\""), std::string::npos) << junit;

    warningsFail(run.outcomes[0]);
    warningsFail(run.outcomes[1]);
    EXPECT_EQ(run.outcomes[0].result, CheckOutcome::Result::Pass);
    EXPECT_EQ(run.outcomes[1].result, CheckOutcome::Result::Fail);
    EXPECT_EQ(formatOutcome(run.outcomes[1]).rfind("FAIL  pin-names: pin 1", 0), 0u);
    EXPECT_NE(run.outcomes[1].reproduce.find(" --strict"), std::string::npos);
    EXPECT_NE(validationJunit(run).find("<failure type=\"warning\""), std::string::npos);
}

TEST(JsonTextTest, EveryByteSurvivesTheWayThroughJson) {
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += static_cast<char>(c);
    const std::string dumped = nlohmann::json(bytesToUtf8(all)).dump();
    EXPECT_EQ(utf8ToBytes(nlohmann::json::parse(dumped).get<std::string>()), all);
    EXPECT_EQ(bytesToUtf8("caf\xe9"), "caf\xc3\xa9");
    EXPECT_EQ(utf8ToBytes("\xe2\x82\xac"), "?"); // beyond one byte
}

} // namespace

namespace {

TEST(ValidationReportTest, AFailedChecksErrorOutputIsKeptWhole) {
    CheckOutcome crash = outcome("pin-changes", CheckOutcome::Result::Fail,
                                 {"crashed (signal 6 (SIGABRT)) in gui GD_PIN_CHANGED"});
    crash.crashed = true;
    crash.errorOutput = "==1==ERROR: AddressSanitizer: heap-use-after-free\n"
                        "    #0 0x1 in f a.cpp:3\n"
                        "    #1 0x2 in <g> b.cpp:9\n";
    ValidationRun run;
    run.library = "lib.so";
    run.outcomes = {crash, outcome("exports", CheckOutcome::Result::Pass)};

    // Text: only with verbose, every line under the check.
    EXPECT_EQ(formatOutcome(crash).find("#1"), std::string::npos);
    const std::string verbose = formatOutcome(crash, true);
    EXPECT_NE(verbose.find("      | ==1==ERROR: AddressSanitizer"), std::string::npos) << verbose;
    EXPECT_NE(verbose.find("      |     #1 0x2 in <g> b.cpp:9\n"), std::string::npos) << verbose;

    const auto doc = nlohmann::json::parse(validationJson(run));
    EXPECT_EQ(doc["checks"][0]["errorOutput"], crash.errorOutput);
    EXPECT_FALSE(doc["checks"][1].contains("errorOutput"));

    const std::string xml = validationJunit(run);
    EXPECT_NE(xml.find("<system-err>==1==ERROR: AddressSanitizer: heap-use-after-free\n"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("#1 0x2 in &lt;g&gt; b.cpp:9"), std::string::npos) << xml;
}

} // namespace

namespace {

TEST(ValidationReportTest, FailuresWithOneCauseAreCollapsed) {
    auto crashed = [](const std::string &name, const std::string &calls) {
        CheckOutcome o = outcome(name, CheckOutcome::Result::Fail,
                                 {"crashed (signal 11 (SIGSEGV)) in " + calls, "while: x"});
        o.crashed = true;
        o.runningCalls = calls;
        return o;
    };
    const std::vector<CheckOutcome> outcomes = {
        outcome("exports", CheckOutcome::Result::Pass),
        crashed("audio-open-close", "audio AD_OPEN"),
        outcome("events", CheckOutcome::Result::Fail, {"magic is 0x1"}),
        crashed("process-word", "gui GD_OPEN > audio AD_OPEN"),
        outcome("gui-record", CheckOutcome::Result::Fail, {"magic is 0x1"}),
        crashed("pin-changes", "gui GD_PIN_CHANGED index=0"),
        crashed("audio-record", "audio AD_OPEN"),
        outcome("unused-opcodes", CheckOutcome::Result::Fail, {"something else"}),
    };
    const std::vector<RootCause> causes = rootCauses(outcomes);
    ASSERT_EQ(causes.size(), 2u);
    EXPECT_EQ(causes[0].text, "crashed (signal 11 (SIGSEGV)) in audio AD_OPEN");
    EXPECT_EQ(causes[0].checks,
              (std::vector<std::string>{"audio-open-close", "process-word", "audio-record"}));
    EXPECT_EQ(causes[1].text, "magic is 0x1");
    EXPECT_EQ(formatRootCauses(causes),
              "root cause: 3 checks crashed (signal 11 (SIGSEGV)) in audio AD_OPEN "
              "(audio-open-close, process-word, audio-record)\n"
              "root cause: 2 checks magic is 0x1 (events, gui-record)\n");
    ValidationRun run;
    run.outcomes = outcomes;
    const auto doc = nlohmann::json::parse(validationJson(run));
    ASSERT_EQ(doc["rootCauses"].size(), 2u);
    EXPECT_EQ(doc["rootCauses"][1]["checks"], nlohmann::json::array({"events", "gui-record"}));
    EXPECT_TRUE(rootCauses({outcomes[0], outcomes[5]}).empty());
}

} // namespace

// A check that could not run here is a skip with its reason; a strict run
// fails it, while a check that does not apply (a side the module lacks)
// stays skipped.
TEST(ValidationReportTest, ACheckThatCouldNotRunFailsUnderStrict) {
    CheckOutcome unable = outcome("leaks", CheckOutcome::Result::Skip,
                                  {"this system cannot tell how much heap a process has in use"});
    unable.couldNotRun = true;
    CheckOutcome absent =
        outcome("gui-record", CheckOutcome::Result::Skip, {"the module has no GUI side"});
    EXPECT_EQ(formatOutcome(unable),
              "SKIP  leaks: this system cannot tell how much heap a process has in use\n");
    warningsFail(unable);
    warningsFail(absent);
    EXPECT_EQ(absent.result, CheckOutcome::Result::Skip);
    ASSERT_EQ(unable.result, CheckOutcome::Result::Fail);
    EXPECT_EQ(formatOutcome(unable).rfind("FAIL  leaks: the check could not run here", 0), 0u)
        << formatOutcome(unable);
    EXPECT_NE(formatOutcome(unable).find("      this system cannot tell"), std::string::npos);
    ValidationRun run;
    run.outcomes = {unable};
    EXPECT_EQ(nlohmann::json::parse(validationJson(run))["checks"][0]["couldNotRun"], true);
}

// A crash's frames and the calls before it are in every form of report.
TEST(ValidationReportTest, ACrashShowsItsFramesAndLastCallsInEveryForm) {
    CheckOutcome crash = outcome("audio-blocks", CheckOutcome::Result::Fail,
                                 {"crashed (signal 11 (SIGSEGV)) in audio process call",
                                  "where: libm.so: Mine::process() (Mine.cpp:42)"});
    crash.crashed = true;
    crash.frames = {"libm.so: Mine::process() (Mine.cpp:42)", "wqhost + 0x1234"};
    crash.lastCalls = {"audio AD_OPEN index=0", "audio process call"};
    const std::string text = formatOutcome(crash);
    EXPECT_NE(text.find("      stack of the crashed thread, innermost first:\n"
                        "        #0 libm.so: Mine::process() (Mine.cpp:42)\n"
                        "        #1 wqhost + 0x1234\n"
                        "      last calls, oldest first:\n"
                        "        audio AD_OPEN index=0\n"
                        "        audio process call\n"
                        "      reproduce: "),
              std::string::npos)
        << text;
    ValidationRun run;
    run.outcomes = {crash};
    const auto doc = nlohmann::json::parse(validationJson(run));
    EXPECT_EQ(doc["checks"][0]["frames"][0], "libm.so: Mine::process() (Mine.cpp:42)");
    EXPECT_EQ(doc["checks"][0]["lastCalls"][1], "audio process call");
    const std::string junit = validationJunit(run);
    EXPECT_NE(junit.find("#0 libm.so: Mine::process() (Mine.cpp:42)"), std::string::npos) << junit;
}
