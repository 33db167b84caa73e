#pragma once
// Console trace output. Every module prints its diagnostics through these functions; they go
// to standard output / standard error (visible only when the program runs with "-console"),
// or to a capture installed by a test.

#include <cstdarg>
#include <cstddef>
#include <functional>
#include <string>

#if defined(__GNUC__)
#define SHUTTLE_PRINTF(fmtIndex, argIndex) __attribute__((format(printf, fmtIndex, argIndex)))
#else
#define SHUTTLE_PRINTF(fmtIndex, argIndex)
#endif

namespace shuttle {

enum class TraceStream { Out, Err };

// printf-style output to standard output. Wide texts are passed converted to UTF-8.
void printOut(const char* format, ...) SHUTTLE_PRINTF(1, 2);
// printf-style output to standard error, flushed.
void printErr(const char* format, ...) SHUTTLE_PRINTF(1, 2);
// Formats into a caller's buffer; gives the characters written, or -1 when it does not fit.
int formatInto(char* buffer, size_t size, const char* format, ...) SHUTTLE_PRINTF(3, 4);
std::string formatText(const char* format, ...) SHUTTLE_PRINTF(1, 2);
std::string formatTextV(const char* format, va_list args);

// Redirects all trace output to `sink` (null restores the standard streams). For tests.
using TraceSink = std::function<void(TraceStream, const std::string&)>;
void setTraceSink(TraceSink sink);

}  // namespace shuttle
