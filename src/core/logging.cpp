#include "core/logging.h"

#include <log4cplus/consoleappender.h>
#include <log4cplus/fileappender.h>
#include <log4cplus/initializer.h>
#include <log4cplus/layout.h>
#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>
#include <log4cplus/nullappender.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace lumivex {
namespace {

std::atomic<bool> g_verbose{false};
std::mutex g_initMutex;

log4cplus::Logger TheLogger() { return log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("LoggerName")); }

std::unique_ptr<log4cplus::Layout> LineLayout(const std::string& program) {
  return std::make_unique<log4cplus::PatternLayout>(
      LOG4CPLUS_TEXT("%D{%Y-%m-%d %H:%M:%S.%q} %-5p " + program + ": %m%n"));
}

// log4cplus reports an unopenable file only on its own internal log: try it first.
bool FileOpens(const std::string& file, std::string& error) {
  std::FILE* f = std::fopen(file.c_str(), "a");
  if (!f) {
    error = file + ": " + std::strerror(errno);
    return false;
  }
  std::fclose(f);
  return true;
}

}  // namespace

bool InitLogging(const LogOptions& options, std::string& error) {
  std::lock_guard lock(g_initMutex);
  static log4cplus::Initializer initializer;
  log4cplus::Logger logger = TheLogger();
  logger.removeAllAppenders();
  logger.setLogLevel(log4cplus::DEBUG_LOG_LEVEL);
  logger.addAppender(log4cplus::SharedAppenderPtr(new log4cplus::NullAppender()));
  if (options.verbose) {
    log4cplus::SharedAppenderPtr console(new log4cplus::ConsoleAppender(true, true));
    console->setLayout(std::make_unique<log4cplus::PatternLayout>(LOG4CPLUS_TEXT("%D{%H:%M:%S.%q} %m%n")));
    logger.addAppender(console);
  }
  g_verbose = options.verbose;
  if (options.file.empty()) return true;
  if (!FileOpens(options.file, error)) return false;
  log4cplus::SharedAppenderPtr file(new log4cplus::RollingFileAppender(
      LOG4CPLUS_TEXT(options.file), static_cast<long>(options.maxFileBytes), options.backups, true));
  file->setLayout(LineLayout(options.program));
  file->setThreshold(options.verbose ? log4cplus::DEBUG_LOG_LEVEL : log4cplus::INFO_LOG_LEVEL);
  logger.addAppender(file);
  return true;
}

void InitLogging(bool verbose) {
  LogOptions options;
  options.verbose = verbose;
  std::string unused;
  InitLogging(options, unused);
}

bool VerboseLogging() { return g_verbose; }

namespace {

void Log(log4cplus::LogLevel level, std::string_view line) {
  static std::once_flag once;
  std::call_once(once, [] {
    if (TheLogger().getAllAppenders().empty()) InitLogging(false);
  });
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  log4cplus::Logger logger = TheLogger();
  if (logger.isEnabledFor(level)) logger.forcedLog(level, std::string(line));
}

}  // namespace

void LogLine(std::string_view line) { Log(log4cplus::DEBUG_LOG_LEVEL, line); }

void LogInfo(std::string_view line) { Log(log4cplus::INFO_LOG_LEVEL, line); }

}  // namespace lumivex
