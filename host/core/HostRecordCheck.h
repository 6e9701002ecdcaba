// HostRecordCheck - the words of a host record as makeModule must hand it
// over: the side's magic, the version, the hostValue the host gave, the
// pointer back to the object, every entry set and every reserved word 0.
// One check, used by the hosts when they create an object and by the
// validator's record checks, so both say the same about the same fault.
#pragma once

#include "host/trace/Problem.h"

#include "wq_sdk2/wq_interface.h"

#include <cstdint>
#include <vector>

namespace wqhost {

// What is wrong with the record, in the order of its words; empty when all
// is right. `hostValue` is the value given to makeModule.
std::vector<Problem> recordProblems(const WQAudioHostRecord &record, intptr_t hostValue);
std::vector<Problem> recordProblems(const WQGuiHostRecord &record, intptr_t hostValue);

} // namespace wqhost
