// Terminal - whether a person is typing at the other end of a stream.
#pragma once

namespace wqhost {

// Whether standard input is a terminal (and not a file or a pipe).
bool standardInputIsTerminal() noexcept;

} // namespace wqhost
