// SPDX-License-Identifier: MIT
// Copyright (c) the Quendor authors
// wq_check.h - the one contract check of the framework and its modules.
//
// A failed check is a breach of the contract between host, framework and
// module author. It prints the check's text, source file and line to stderr
// and aborts. Unlike assert() it stays active in every build type, including
// the delivered library.
#pragma once

namespace wq {

// Reports a failed check and ends the program. Never returns.
[[noreturn]] void checkFailed(const char *text, const char *file, int line) noexcept;

// Text of the check that fails when a C++ exception reaches a function the
// host calls directly (a record entry or a process function): the host is C
// and cannot unwind C++ frames. One text for both sides.
inline constexpr char kNoExceptionToHost[] = "no exception crosses into the host";

} // namespace wq

// Checks `cond`; the report names the condition as written.
#define WQ_CHECK(cond) WQ_CHECK_TEXT(cond, #cond)

// Checks `cond`; the report uses `text`, for checks whose text is not the
// expression as written here.
#define WQ_CHECK_TEXT(cond, text)                                                                  \
  ((cond) ? static_cast<void>(0) : ::wq::checkFailed((text), __FILE__, __LINE__))
