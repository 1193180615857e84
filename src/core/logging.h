#pragma once
// Diagnostics go to the log4cplus logger "LoggerName" at debug level. Nothing
// is printed unless the program asks for a console appender (--verbose).

#include <string_view>

namespace lumivex {

// Installs a null appender, plus a console appender on standard error when
// verbose. Safe to call more than once; the last call wins.
void InitLogging(bool verbose);
bool VerboseLogging();

// One diagnostic line (a trailing newline is dropped).
void LogLine(std::string_view line);

}  // namespace lumivex
