#include "kcpclient/LogLine.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

const char* LogLine::level_name(int level) {
    static const char* const names[] = {"INFO", "WARNING", "ERROR", "FATAL"};
    int index = level % 4;
    if (index < 0)
        index += 4;
    return names[index];
}

std::string LogLine::timestamp() {
    using namespace std::chrono;
    const system_clock::time_point now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const long nanoseconds = static_cast<long>(
        duration_cast<std::chrono::nanoseconds>(now.time_since_epoch() % std::chrono::seconds(1))
            .count());
    std::tm local{};
    {
        // std::localtime's result is shared by every thread: copied under a lock.
        static std::mutex mutex;
        std::lock_guard<std::mutex> lock(mutex);
        if (const std::tm* t = std::localtime(&seconds))
            local = *t;
    }
    char text[64];
    size_t used = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(text + used, sizeof text - used, ".%09ld", nanoseconds);
    return text;
}

LogLine::LogLine(int level) : level_(level) {
    buffer_ << '[' << level_name(level) << "] [" << timestamp() << "] ";
}

LogLine::LogLine(int level, const char* file, int line, const char* function) : LogLine(level) {
    buffer_ << '[' << file << ':' << line << "] [" << function << "] ";
}

LogLine::~LogLine() {
    std::string line = buffer_.str();
    line += '\n';
    // One write per line so that lines of different threads never interleave.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    if (level_ > Error) {
        // _Exit: no static destructors run, so a fault inside a worker thread
        // cannot hang on singletons that join that very thread.
        std::_Exit(3);
    }
}
