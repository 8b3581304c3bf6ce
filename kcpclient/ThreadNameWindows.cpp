#include "kcpclient/ThreadName.h"

#include <windows.h>

#include <string>

namespace {

using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);

// Looked up at run time: only Windows 10 (1607) and later have it, and not
// every SDK's headers declare it.
SetDescription setDescription() {
    static const SetDescription found = [] {
        HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
        FARPROC address = kernel ? ::GetProcAddress(kernel, "SetThreadDescription") : nullptr;
        return reinterpret_cast<SetDescription>(reinterpret_cast<void*>(address));
    }();
    return found;
}

} // namespace

void setCurrentThreadName(const char* name) {
    if (!name)
        return;
    SetDescription set = setDescription();
    if (!set)
        return;
    // The name is ASCII: each character widens as it is.
    const std::string narrow(name);
    const std::wstring wide(narrow.begin(), narrow.end());
    set(::GetCurrentThread(), wide.c_str());
}
