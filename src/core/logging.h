#pragma once
// Diagnostics go to the log4cplus logger "LoggerName" at debug level; the
// events a user or a supporter looks for (sign-in, camera states, start-up
// failures) at info level. A program writes them to its rolling log file
// (info and above; debug too when verbose) and, when verbose, to standard error.

#include <cstddef>
#include <string>
#include <string_view>

namespace lumivex {

struct LogOptions {
  std::string program;  // on every line, so the files of the programs tell apart
  bool verbose = false;
  std::string file;     // empty: no file
  std::size_t maxFileBytes = 2 * 1024 * 1024;
  int backups = 4;      // file.1 ... file.4 beside the file
};

// Installs the appenders. False with error naming the file and the system's
// reason when it cannot be opened; the console appender is installed anyway.
// Safe to call more than once; the last call wins.
bool InitLogging(const LogOptions& options, std::string& error);
// No file: a null appender, plus standard error when verbose.
void InitLogging(bool verbose);
bool VerboseLogging();

// One diagnostic line (a trailing newline is dropped).
void LogLine(std::string_view line);
// One line at info level.
void LogInfo(std::string_view line);

}  // namespace lumivex
