#pragma once
// Bytes that came from the link device or the shared drive, made safe for the console trace
// and the log: printable ASCII stays as it is, every other byte becomes \xNN, and a long value
// is cut with its full length shown, so hostile input can neither garble the console nor flood it.

#include <cstddef>
#include <string>
#include <string_view>

namespace shuttle {

constexpr size_t kTraceValueLimit = 80;  // bytes of a value shown before it is cut

// "abc\x01" for the bytes a b c 0x01; a value longer than `limit` bytes shows its first `limit`
// bytes followed by "... (N bytes)".
std::string traceText(std::string_view bytes, size_t limit = kTraceValueLimit);

}  // namespace shuttle
