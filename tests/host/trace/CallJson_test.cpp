// Calls as JSON lines: the fields and their order, texts of any bytes in the
// one JSON encoding of 8-bit texts, floats, and a call read back from its
// line (what a crash report works from).
#include "host/trace/CallJson.h"

#include "host/trace/CallText.h"
#include "host/text/JsonText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace wqhost;

namespace {

TEST(CallJsonTest, LinesHoldTheFieldsInTheirOrder) {
    CallRecord call = makeCall(Side::Gui, CallKind::Callback, nullptr, {GH_PIN_SET_TEXT, 2});
    call.seq = 5;
    call.depth = 1;
    call.text = "b";
    EXPECT_EQ(callLine(call),
              "{\"seq\":5,\"phase\":\"call\",\"dir\":\"module->host\",\"side\":\"gui\","
              "\"kind\":\"callback\",\"record\":\"0x0\",\"opcode\":" +
                  std::to_string(GH_PIN_SET_TEXT) +
                  ",\"name\":\"GH_PIN_SET_TEXT\",\"index\":2,\"value\":0,\"ptr\":0,\"opt\":0,"
                  "\"depth\":1,\"text\":\"b\"}");
    call.result = -3;
    EXPECT_EQ(returnLine(call), "{\"seq\":5,\"phase\":\"return\",\"result\":-3}");
    call.answer = "x";
    EXPECT_EQ(returnLine(call), "{\"seq\":5,\"phase\":\"return\",\"result\":-3,\"answer\":\"x\"}");
}

TEST(CallJsonTest, FloatsKeepTheirShortDigits) {
    const struct {
        float opt;
        const char *json;
    } cases[] = {{0.0f, "0"},      {48000.0f, "48000"},   {0.25f, "0.25"},
                 {-1.5f, "-1.5"},  {0.1f, "0.100000001"}, {1.0e30f, "1.00000002e+30"},
                 {NAN, "\"nan\""}, {INFINITY, "\"inf\""}, {-INFINITY, "\"-inf\""}};
    for (const auto &c : cases) {
        const CallRecord call = makeCall(Side::Audio, CallKind::Dispatch, nullptr,
                                         {AD_SET_SAMPLE_RATE, 0, 0, nullptr, c.opt});
        const std::string line = callLine(call);
        EXPECT_NE(line.find(std::string("\"opt\":") + c.json + ","), std::string::npos) << line;
        const float back = callFromJson(nlohmann::ordered_json::parse(line)).opt;
        if (std::isnan(c.opt))
            EXPECT_TRUE(std::isnan(back));
        else
            EXPECT_EQ(back, c.opt) << line;
    }
}

TEST(CallJsonTest, EveryByteOfATextComesBack) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    CallRecord call = makeCall(Side::Gui, CallKind::Callback, nullptr, {GH_PIN_SET_LIST_TEXT});
    call.text = all;
    call.answer = all;
    const std::string line = callLine(call);
    EXPECT_EQ(line.find('\n'), std::string::npos); // one line, whatever the text
    const nlohmann::ordered_json j = nlohmann::ordered_json::parse(line);
    EXPECT_EQ(utf8ToBytes(j["text"].get<std::string>()), all);
    EXPECT_EQ(callFromJson(j).text, all);
    const nlohmann::json r = nlohmann::json::parse(returnLine(call));
    EXPECT_EQ(utf8ToBytes(r["answer"].get<std::string>()), all);
    // Each byte is the code point of the same number, written as UTF-8.
    EXPECT_EQ(bytesToUtf8("caf\xe9"), "caf\xc3\xa9");
    EXPECT_EQ(utf8ToBytes("\xe2\x82\xac"), "?"); // beyond one byte: never written by the host
}

TEST(CallJsonTest, ACallReadBackReadsAsTheCallItself) {
    int record = 0;
    CallRecord event = makeCall(Side::Audio, CallKind::Event, &record, {}, 96);
    event.hasEvent = true;
    event.event.time_stamp = 96;
    event.event.event_type = -1;
    event.event.int_value = INT32_MIN;
    event.event.int_value2 = INT32_MAX;
    event.event.ptr_value = -7;
    CallRecord text =
        makeCall(Side::Gui, CallKind::Callback, &record, {GH_PIN_SET_TEXT, 3, 0, &record});
    text.text = std::string(60, '\xff');
    text.depth = 4;
    const CallRecord calls[] = {
        event,
        text,
        makeCall(Side::Gui, CallKind::Callback, &record, {91, -1, 12}),
        makeCall(Side::Audio, CallKind::Dispatch, &record,
                 {AD_GET_PIN_PROPERTIES, 2, 0, &record, 0.5f}, 7),
        makeCall(Side::Audio, CallKind::Process, &record, {}, 64),
        makeCall(Side::Library, CallKind::MakeModule, nullptr, {0, 1, WQ_TYPE_GUI}),
        makeCall(Side::Library, CallKind::GetModuleProperties, nullptr, {0, 0}),
    };
    for (const CallRecord &call : calls) {
        const CallRecord back = callFromJson(nlohmann::ordered_json::parse(callLine(call)));
        EXPECT_EQ(callText(back, CallForm::Running), callText(call, CallForm::Running));
        EXPECT_EQ(callText(back, CallForm::Trace), callText(call, CallForm::Trace));
        EXPECT_EQ(back.ptr, call.ptr);
        EXPECT_EQ(back.event.ptr_value, call.event.ptr_value);
    }
}

} // namespace
