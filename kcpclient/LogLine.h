#pragma once

#include <sstream>
#include <string>

// One line of the media transport's log. The line is assembled while the
// record lives and written to standard error, whole and flushed, when it is
// destroyed. A FATAL record ends the process with exit status 3 after the
// line is out.
//
//   [LEVEL] [2024-05-01T12:00:00.123456789] [kcpclient/File:42] [function] message
class LogLine {
public:
    enum Level { Info = 0, Warning = 1, Error = 2, Fatal = 3 };

    explicit LogLine(int level);
    // Also appends the call site: "[file:line] [function] ".
    LogLine(int level, const char* file, int line, const char* function);
    ~LogLine();

    LogLine(const LogLine&) = delete;
    LogLine& operator=(const LogLine&) = delete;

    std::ostream& stream() { return buffer_; }

    // "INFO", "WARNING", "ERROR" or "FATAL" (level modulo 4).
    static const char* level_name(int level);
    // Local wall-clock time with nanoseconds, e.g. 2024-05-01T12:00:00.123456789.
    static std::string timestamp();

private:
    int level_;
    std::ostringstream buffer_;
};

// Each source file defines LOG_SOURCE ("kcpclient/<File>") before using these.
#define LOG_AT(level) ::LogLine((level), LOG_SOURCE, __LINE__, __func__).stream()
#define LOG_INFO LOG_AT(::LogLine::Info)
#define LOG_WARNING LOG_AT(::LogLine::Warning)
#define LOG_ERROR LOG_AT(::LogLine::Error)
#define LOG_FATAL LOG_AT(::LogLine::Fatal)
