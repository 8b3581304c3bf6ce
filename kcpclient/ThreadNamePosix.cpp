#include "kcpclient/ThreadName.h"

#include <pthread.h>

#include <string>

void setCurrentThreadName(const char* name) {
    if (!name)
        return;
#if defined(__APPLE__)
    pthread_setname_np(name);
#else
    // Linux keeps 15 characters and the terminator.
    const std::string shortName = std::string(name).substr(0, 15);
    pthread_setname_np(pthread_self(), shortName.c_str());
#endif
}
