#include "core/logging.h"

#include <log4cplus/consoleappender.h>
#include <log4cplus/initializer.h>
#include <log4cplus/layout.h>
#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>
#include <log4cplus/nullappender.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace lumivex {
namespace {

std::atomic<bool> g_verbose{false};
std::mutex g_initMutex;

log4cplus::Logger TheLogger() { return log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("LoggerName")); }

}  // namespace

void InitLogging(bool verbose) {
  std::lock_guard lock(g_initMutex);
  static log4cplus::Initializer initializer;
  log4cplus::Logger logger = TheLogger();
  logger.removeAllAppenders();
  logger.setLogLevel(log4cplus::DEBUG_LOG_LEVEL);
  logger.addAppender(log4cplus::SharedAppenderPtr(new log4cplus::NullAppender()));
  if (verbose) {
    log4cplus::SharedAppenderPtr console(new log4cplus::ConsoleAppender(true, true));
    console->setLayout(std::make_unique<log4cplus::PatternLayout>(LOG4CPLUS_TEXT("%D{%H:%M:%S.%q} %m%n")));
    logger.addAppender(console);
  }
  g_verbose = verbose;
}

bool VerboseLogging() { return g_verbose; }

void LogLine(std::string_view line) {
  static std::once_flag once;
  std::call_once(once, [] {
    if (TheLogger().getAllAppenders().empty()) InitLogging(false);
  });
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  LOG4CPLUS_DEBUG(TheLogger(), std::string(line));
}

}  // namespace lumivex
