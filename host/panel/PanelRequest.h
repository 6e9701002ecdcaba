// PanelRequest - what the panel's page may ask of the module, checked before
// it reaches the module's process: a JSON object with a known "op" and
// arguments of the right type and range, a pin that the module declared.
// Anything else is a RequestError, answered with HTTP 400 and the reason.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace wqhost {

class RequestError : public std::runtime_error {
public:
    explicit RequestError(const std::string &what) : std::runtime_error(what) {}
};

// The most blocks one request may process.
constexpr int kMaxProcessBlocks = 10000;
// The highest sample rate and the largest block size the page may choose
// (the host's sample buffers hold 4096 samples).
constexpr double kMaxSampleRate = 384000.0;
constexpr int kMaxBlockSize = 4096;

// The request for the module's process made from an HTTP body, e.g.
//   {"op":"set","pin":0,"value":"red,green"}           text by default
//   {"op":"set","pin":1,"form":"int","value":2}
//   {"op":"echo","on":false}  {"op":"process","blocks":4}  {"op":"recreate"}
//   {"op":"restart"}   (the server's own: a fresh module process)
//   {"op":"reload"}    (the server's own: the library loaded afresh, the settings replayed)
//   {"op":"rate","hz":48000}  {"op":"block","size":64}     for what is processed next
//   {"op":"signal","pin":0,"signal":"sine 440 0.5"}       what feeds an audio input
// `pins` lists the declared pin indices.
nlohmann::json parsePanelRequest(const std::string &body, const std::vector<int32_t> &pins);

} // namespace wqhost
