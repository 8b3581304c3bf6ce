#pragma once

#ifndef _WIN32
#include <sched.h>
#endif

#include <cstdlib>
#include <initializer_list>
#include <string>

namespace kcptest {

#ifdef _WIN32
// Windows has no network namespaces: the tests that need one are skipped.
inline bool enter_private_network(std::initializer_list<const char*>) {
    return false;
}
inline bool private_network_possible() {
    return false;
}
#else

// Moves the calling (child) process into a fresh network namespace with only
// a loopback device carrying the given extra addresses ("192.168.88.5/24").
// False when the host does not allow it.
inline bool enter_private_network(std::initializer_list<const char*> addresses) {
    if (::unshare(CLONE_NEWNET) != 0)
        return false;
    std::string script = "ip link set lo up";
    for (const char* a : addresses)
        script += std::string(" && ip addr add ") + a + " dev lo";
    script += " >/dev/null 2>&1";
    return std::system(script.c_str()) == 0;
}

inline bool private_network_possible() {
    static const int possible = [] {
        std::string probe = "unshare -n true >/dev/null 2>&1";
        return std::system(probe.c_str()) == 0 ? 1 : 0;
    }();
    return possible == 1;
}

#endif

} // namespace kcptest
