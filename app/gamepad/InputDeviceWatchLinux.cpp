#include "app/gamepad/InputDeviceWatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

// inotify on /dev/input (evdev nodes) and /dev (hidraw nodes, and /dev/input
// itself coming late), with an eventfd for wake(). Where inotify cannot be
// had, a change is reported once a second.
struct InputDeviceWatch::Impl {
    int notify = -1;
    int wakeFd = -1;
    bool watching = false;

    Impl() {
        wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        notify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (notify >= 0) {
            // Nodes come and go; in /dev/input their permissions follow a
            // moment later, and only then can they be opened.
            const uint32_t nodes = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM;
            const bool input = ::inotify_add_watch(notify, "/dev/input", nodes | IN_ATTRIB) >= 0;
            const bool dev = ::inotify_add_watch(notify, "/dev", nodes) >= 0;
            watching = input || dev;
        }
    }
    ~Impl() {
        if (notify >= 0)
            ::close(notify);
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    static void drain(int fd) {
        char buffer[4096];
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
    }
};

InputDeviceWatch::InputDeviceWatch() : m_impl(std::make_unique<Impl>()) {}

InputDeviceWatch::~InputDeviceWatch() = default;

bool InputDeviceWatch::wait(std::chrono::milliseconds timeout) {
    constexpr int kLookMs = 1000;
    int limit = timeout.count() < 0 ? -1 : static_cast<int>(timeout.count());
    const bool periodic = !m_impl->watching && (limit < 0 || limit > kLookMs);
    if (periodic)
        limit = kLookMs;
    pollfd fds[2] = {{m_impl->wakeFd, POLLIN, 0},
                     {m_impl->watching ? m_impl->notify : -1, POLLIN, 0}};
    int ready = 0;
    do {
        ready = ::poll(fds, 2, limit);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return periodic && ready == 0;
    if (fds[0].revents & POLLIN)
        Impl::drain(m_impl->wakeFd);
    if (fds[1].revents & POLLIN) {
        Impl::drain(m_impl->notify);
        return true;
    }
    return false;
}

void InputDeviceWatch::wake() {
    if (m_impl->wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_impl->wakeFd, &one, sizeof one);
    }
}
