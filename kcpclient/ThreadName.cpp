#include "kcpclient/ThreadName.h"

#include <string>

#if defined(_WIN32)
#include <windows.h>
#elif defined(__APPLE__) || defined(__linux__)
#include <pthread.h>
#endif

void setCurrentThreadName(const char* name) {
    if (!name)
        return;
#if defined(_WIN32)
    const std::string narrow(name);
    const std::wstring wide(narrow.begin(), narrow.end());
    SetThreadDescription(GetCurrentThread(), wide.c_str());
#elif defined(__APPLE__)
    pthread_setname_np(name);
#elif defined(__linux__)
    // The kernel keeps 15 characters and the terminator.
    const std::string shortName = std::string(name).substr(0, 15);
    pthread_setname_np(pthread_self(), shortName.c_str());
#endif
}
