// What the page may ask of the module: every malformed or out-of-range
// request is refused with a reason before it reaches the module's process.
#include "host/panel/PanelRequest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using nlohmann::json;
using wqhost::parsePanelRequest;
using wqhost::RequestError;

const std::vector<int32_t> kPins = {0, 1, 2, 3};

struct Refused {
    const char *body;
    const char *reason; // a part of the error message
};

void PrintTo(const Refused &r, std::ostream *out) { *out << ::testing::PrintToString(r.body); }

class RefusedRequest : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedRequest, IsARequestErrorThatSaysWhy) {
    try {
        parsePanelRequest(GetParam().body, kPins);
        FAIL() << "accepted: " << GetParam().body;
    } catch (const RequestError &e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().reason), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, RefusedRequest,
    ::testing::Values(
        Refused{"", "not JSON"}, Refused{"{\"op\":", "not JSON"}, Refused{"\xff\xfe", "not JSON"},
        Refused{"[1,2]", "JSON object"}, Refused{"\"set\"", "JSON object"},
        Refused{"{}", "\"op\" is missing"}, Refused{"{\"op\":7}", "\"op\" must be a string"},
        Refused{"{\"op\":\"explode\"}", "unknown op"},
        Refused{"{\"op\":\"set\",\"value\":\"x\"}", "\"pin\" is missing"},
        Refused{"{\"op\":\"set\",\"pin\":\"0\",\"value\":\"x\"}", "integer"},
        Refused{"{\"op\":\"set\",\"pin\":4,\"value\":\"x\"}", "no pin 4"},
        Refused{"{\"op\":\"set\",\"pin\":-1,\"value\":\"x\"}", "no pin -1"},
        Refused{"{\"op\":\"set\",\"pin\":99999999999,\"value\":\"x\"}", "no pin"},
        Refused{"{\"op\":\"set\",\"pin\":0}", "\"value\" is missing"},
        Refused{"{\"op\":\"set\",\"pin\":0,\"value\":3}", "must be a string"},
        Refused{"{\"op\":\"set\",\"pin\":1,\"form\":\"int\",\"value\":1.5}", "32-bit integer"},
        Refused{"{\"op\":\"set\",\"pin\":1,\"form\":\"int\",\"value\":4294967296}",
                "32-bit integer"},
        // Beyond 64 bits, and beyond the signed range: never wrapped round.
        Refused{"{\"op\":\"set\",\"pin\":1,\"form\":\"int\",\"value\":18446744073709551615}",
                "32-bit integer"},
        Refused{"{\"op\":\"set\",\"pin\":1,\"form\":\"int\",\"value\":9223372036854775808}",
                "32-bit integer"},
        Refused{"{\"op\":\"set\",\"pin\":1,\"form\":\"int\",\"value\":"
                "100000000000000000000000}",
                "32-bit integer"},
        Refused{"{\"op\":\"set\",\"pin\":18446744073709551615,\"value\":\"x\"}", "integer"},
        Refused{"{\"op\":\"process\",\"blocks\":18446744073709551617}", "from 1 to"},
        // A text is 8-bit: a character past U+00FF is refused, not made '?'.
        Refused{"{\"op\":\"set\",\"pin\":0,\"value\":\"a\\u20ac\"}", "character 2"},
        Refused{"{\"op\":\"set\",\"pin\":0,\"value\":\"\\u00e9\\u0100\"}", "beyond U+00FF"},
        Refused{"{\"op\":\"set\",\"pin\":0,\"value\":\"\\ud83c\\udfb5\"}", "beyond U+00FF"},
        Refused{"{\"op\":\"set\",\"pin\":1,\"form\":\"float\",\"value\":1e300}", "32-bit float"},
        Refused{"{\"op\":\"set\",\"pin\":1,\"form\":\"hex\",\"value\":1}", "\"form\""},
        Refused{"{\"op\":\"set\",\"pin\":1,\"form\":1,\"value\":1}", "\"form\""},
        Refused{"{\"op\":\"echo\"}", "\"on\" is missing"},
        Refused{"{\"op\":\"echo\",\"on\":1}", "true or false"},
        Refused{"{\"op\":\"process\",\"blocks\":0}", "from 1 to"},
        Refused{"{\"op\":\"process\",\"blocks\":10001}", "from 1 to"},
        Refused{"{\"op\":\"process\",\"blocks\":\"2\"}", "from 1 to"},
        Refused{"{\"op\":\"rate\"}", "\"hz\" is missing"},
        Refused{"{\"op\":\"rate\",\"hz\":0.5}", "from 1 to 384000"},
        Refused{"{\"op\":\"rate\",\"hz\":1e9}", "from 1 to 384000"},
        Refused{"{\"op\":\"rate\",\"hz\":\"48000\"}", "from 1 to 384000"},
        Refused{"{\"op\":\"block\",\"size\":0}", "from 1 to 4096"},
        Refused{"{\"op\":\"block\",\"size\":4097}", "from 1 to 4096"},
        Refused{"{\"op\":\"block\",\"size\":64.5}", "from 1 to 4096"},
        Refused{"{\"op\":\"process\",\"calls\":0}", "\"calls\" must be true or false"},
        Refused{"{\"op\":\"signal\",\"signal\":\"sine 440 1\"}", "\"pin\" is missing"},
        Refused{"{\"op\":\"signal\",\"pin\":7,\"signal\":\"sine 440 1\"}", "no pin 7"},
        Refused{"{\"op\":\"signal\",\"pin\":0}", "\"signal\" is missing"},
        Refused{"{\"op\":\"signal\",\"pin\":0,\"signal\":5}", "must be a string"},
        Refused{"{\"op\":\"signal\",\"pin\":0,\"signal\":\"\"}", "constant"},
        Refused{"{\"op\":\"signal\",\"pin\":0,\"signal\":\"hum 50\"}", "hum"},
        Refused{"{\"op\":\"signal\",\"pin\":0,\"signal\":\"sine 440\"}", "sine"},
        // The page names no files of the machine the module runs on.
        Refused{"{\"op\":\"signal\",\"pin\":0,\"signal\":\"file /etc/x.wav\"}", "feeds no files"}));

struct Accepted {
    const char *body;
    const char *request; // what goes to the module's process
};

void PrintTo(const Accepted &a, std::ostream *out) { *out << ::testing::PrintToString(a.body); }

class AcceptedRequest : public ::testing::TestWithParam<Accepted> {};

TEST_P(AcceptedRequest, BecomesTheModuleRequest) {
    EXPECT_EQ(parsePanelRequest(GetParam().body, kPins), json::parse(GetParam().request));
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, AcceptedRequest,
    ::testing::Values(
        Accepted{"{\"op\":\"set\",\"pin\":0,\"value\":\"a,b\"}",
                 "{\"op\":\"set\",\"pin\":0,\"form\":\"text\",\"value\":\"a,b\"}"},
        Accepted{"{\"op\":\"set\",\"pin\":1,\"form\":\"int\",\"value\":-2147483648}",
                 "{\"op\":\"set\",\"pin\":1,\"form\":\"int\",\"value\":-2147483648}"},
        Accepted{"{\"op\":\"set\",\"pin\":3,\"form\":\"float\",\"value\":2}",
                 "{\"op\":\"set\",\"pin\":3,\"form\":\"float\",\"value\":2.0}"},
        Accepted{"{\"op\":\"echo\",\"on\":false,\"extra\":1}", "{\"op\":\"echo\",\"on\":false}"},
        Accepted{"{\"op\":\"process\"}", "{\"op\":\"process\",\"blocks\":1}"},
        Accepted{"{\"op\":\"process\",\"blocks\":10000}", "{\"op\":\"process\",\"blocks\":10000}"},
        Accepted{
            "{\"op\":\"set\",\"pin\":0,\"value\":\"\\u00e9\\u00ff\\u0000\"}",
            "{\"op\":\"set\",\"pin\":0,\"form\":\"text\",\"value\":\"\\u00e9\\u00ff\\u0000\"}"},
        Accepted{"{\"op\":\"set\",\"pin\":1,\"form\":\"int\",\"value\":2147483647}",
                 "{\"op\":\"set\",\"pin\":1,\"form\":\"int\",\"value\":2147483647}"},
        Accepted{"{\"op\":\"rate\",\"hz\":44100}", "{\"hz\":44100,\"op\":\"rate\"}"},
        Accepted{"{\"op\":\"block\",\"size\":4096}", "{\"op\":\"block\",\"size\":4096}"},
        Accepted{"{\"op\":\"process\",\"blocks\":2,\"calls\":false}",
                 "{\"op\":\"process\",\"blocks\":2,\"calls\":false}"},
        // A signal as the session's `signal` command writes it.
        Accepted{"{\"op\":\"signal\",\"pin\":0,\"signal\":\"  sine   440 0.5 \"}",
                 "{\"op\":\"signal\",\"pin\":0,\"signal\":\"sine 440 0.5\"}"},
        Accepted{"{\"op\":\"signal\",\"pin\":3,\"signal\":\"noise 0.25 7\"}",
                 "{\"op\":\"signal\",\"pin\":3,\"signal\":\"noise 0.25 7\"}"},
        Accepted{"{\"op\":\"recreate\"}", "{\"op\":\"recreate\"}"},
        Accepted{"{\"op\":\"reload\"}", "{\"op\":\"reload\"}"}));

} // namespace
