#include "kcpclient/ThreadName.h"

#include <windows.h>

#include <string>

void setCurrentThreadName(const char* name) {
    if (!name)
        return;
    // The name is ASCII: each character widens as it is.
    const std::string narrow(name);
    const std::wstring wide(narrow.begin(), narrow.end());
    SetThreadDescription(GetCurrentThread(), wide.c_str());
}
