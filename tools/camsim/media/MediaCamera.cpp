#include "tools/camsim/media/MediaCamera.h"

#include "kcpclient/KcpCmdOp.h"
#include "kcpclient/ikcp.h"
#include "tools/kcpsim/KcpSim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>

namespace camsim {

namespace {

using Clock = std::chrono::steady_clock;

uint64_t now_ms() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
            .count());
}

int open_udp(const std::string& address, uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &in.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&in), sizeof in) != 0) {
        ::close(fd);
        return -1;
    }
    int bytes = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
    return fd;
}

uint16_t bound_port(int fd) {
    sockaddr_in in{};
    socklen_t len = sizeof in;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&in), &len);
    return ntohs(in.sin_port);
}

void put_i64(std::string& out, int64_t value) {
    for (int i = 0; i < 8; i++)
        out.push_back(static_cast<char>((static_cast<uint64_t>(value) >> (8 * i)) & 0xff));
}

const std::string kSideInfoPrefix("\x00\x00\x00\x01\x0D", 5);
const std::string kContainerPrefix("\x00\x00\x00\x01\x18", 5);

} // namespace

int64_t MediaCamera::steadyMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
}

// One open media conversation: its socket toward the client, its engine and
// the sender thread.
struct MediaSession {
    int fd = -1;
    IUINT32 conv = 0;
    ikcpcb* kcp = nullptr;
    std::unique_ptr<kcpsim::Channel> impairment;
    std::atomic<bool> running{true};
    std::thread thread;
    uint64_t lastHeard = 0;
    MediaEndpoint client;

    ~MediaSession() {
        if (kcp)
            ikcp_release(kcp);
        if (fd >= 0)
            ::close(fd);
    }
};

struct MediaCamera::Impl {
    MediaConfig config;
    mutable std::mutex mutex; // faults, counters, source, observer, session
    MediaFaults faults;
    MediaCounters counters;
    std::shared_ptr<VideoSource> source;
    std::function<void(uint64_t, int64_t)> observer;
    std::shared_ptr<MediaSession> session;
    uint64_t frameIndex = 0;

    int commandFd = -1;
    std::atomic<bool> serving{false};
    std::thread server;
    IUINT32 nextConv = 0;
    int lastCommand = -1;
    int copiesInARow = 0;
    std::deque<std::pair<uint64_t, std::string>> delayed; // (due, reply)
    sockaddr_in delayedTo{};

    explicit Impl(MediaConfig c) : config(std::move(c)) {
        std::random_device device;
        nextConv = device() & 0xffff;
    }

    bool sessionActiveFor(const MediaEndpoint& client) {
        std::lock_guard<std::mutex> lock(mutex);
        return session && session->running && session->client.address == client.address &&
               session->client.port == client.port;
    }
    void serve();
    void handle(const std::string& datagram, const sockaddr_in& from);
    void send_reply(std::string reply, const sockaddr_in& to, const MediaFaults& f);
    bool open_session(const MediaEndpoint& client, IUINT32 conv, uint16_t& mediaPort);
    void end_session();
    void run_session(std::shared_ptr<MediaSession> s);
    void send_frame(MediaSession& s, const VideoFrame& frame,
                    std::deque<std::pair<IUINT32, std::pair<uint64_t, int64_t>>>& pending);
};

MediaCamera::MediaCamera(MediaConfig config) : impl_(std::make_unique<Impl>(std::move(config))) {}

MediaCamera::~MediaCamera() {
    stop();
}

bool MediaCamera::start() {
    if (impl_->serving)
        return true;
    impl_->commandFd = open_udp(impl_->config.bindAddress, impl_->config.commandPort);
    if (impl_->commandFd < 0)
        return false;
    impl_->serving = true;
    impl_->server = std::thread([this] { impl_->serve(); });
    return true;
}

void MediaCamera::stop() {
    if (impl_->serving) {
        impl_->serving = false;
        impl_->server.join();
        ::close(impl_->commandFd);
        impl_->commandFd = -1;
    }
    impl_->end_session();
}

void MediaCamera::setVideoSource(std::shared_ptr<VideoSource> source) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->source = std::move(source);
}

void MediaCamera::setFaults(const MediaFaults& faults) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->faults = faults;
}

MediaFaults MediaCamera::faults() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->faults;
}

MediaCounters MediaCamera::counters() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->counters;
}

bool MediaCamera::sessionActive() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->session && impl_->session->running;
}

uint16_t MediaCamera::commandPort() const {
    return impl_->config.commandPort;
}

void MediaCamera::endSession() {
    impl_->end_session();
}

void MediaCamera::setFrameSentObserver(std::function<void(uint64_t, int64_t)> observer) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->observer = std::move(observer);
}

void MediaCamera::Impl::serve() {
    char buffer[2048];
    while (serving) {
        pollfd p{commandFd, POLLIN, 0};
        ::poll(&p, 1, 5);
        uint64_t now = now_ms();
        while (!delayed.empty() && delayed.front().first <= now) {
            const std::string& r = delayed.front().second;
            ::sendto(commandFd, r.data(), r.size(), 0, reinterpret_cast<sockaddr*>(&delayedTo),
                     sizeof delayedTo);
            delayed.pop_front();
        }
        if (!(p.revents & POLLIN))
            continue;
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = ::recvfrom(commandFd, buffer, sizeof buffer, MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&from), &len);
        if (n >= 0)
            handle(std::string(buffer, static_cast<size_t>(n)), from);
    }
}

void MediaCamera::Impl::send_reply(std::string reply, const sockaddr_in& to, const MediaFaults& f) {
    auto* b = reinterpret_cast<uint8_t*>(&reply[0]);
    size_t length = reply.size();
    if (f.replyLength >= 0) {
        length = static_cast<size_t>(f.replyLength);
        if (reply.size() < length)
            reply.resize(length, '\0');
        b = reinterpret_cast<uint8_t*>(&reply[0]);
        b[6] = static_cast<uint8_t>(length & 0xff);
        b[7] = static_cast<uint8_t>(length >> 8);
    }
    b[3] = 0;
    b[3] = kcpcmd::xor_of(b, std::min(length, reply.size()));
    if (f.badChecksum)
        b[3] ^= 0x5A;
    {
        std::lock_guard<std::mutex> lock(mutex);
        counters.repliesSent++;
    }
    if (f.replyDelayMs > 0) {
        delayedTo = to;
        delayed.emplace_back(now_ms() + static_cast<uint64_t>(f.replyDelayMs), std::move(reply));
        return;
    }
    ::sendto(commandFd, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
}

void MediaCamera::Impl::handle(const std::string& datagram, const sockaddr_in& from) {
    KcpCmd request;
    if (!kcpcmd::parse_packet(datagram, request) || request.bytes[0] != 0x5C ||
        request.bytes[1] != 0x5A || request.direction() != kcpcmd::Request)
        return;
    std::string payload = request.payload();
    if (payload.size() < 6)
        return;
    MediaEndpoint client =
        kcpcmd::decode_endpoint(reinterpret_cast<const uint8_t*>(payload.data()));
    const uint8_t command = request.command();

    MediaFaults f;
    {
        std::lock_guard<std::mutex> lock(mutex);
        f = faults;
        if (command == kcpcmd::StartSession)
            counters.startRequests++;
        else if (command == kcpcmd::StopSession)
            counters.stopRequests++;
        else if (command == kcpcmd::SetProperty)
            counters.propertyRequests++;
        counters.lastRequest = command;
    }
    copiesInARow = command == lastCommand ? copiesInARow + 1 : 1;
    lastCommand = command;
    if (f.noReply)
        return;
    if (f.replyToThirdCopyOnly && copiesInARow % 3 != 0)
        return;
    // Each copy of a request is answered, but only the first opens or ends a
    // session: later copies find it done.
    std::string replyPayload;
    if (command == kcpcmd::StartSession) {
        uint16_t mediaPort = 0;
        bool ok = f.status == 0;
        IUINT32 conv = 0;
        {
            std::lock_guard<std::mutex> lock(mutex);
            conv = counters.lastConversation;
        }
        // Later copies of the same request find the session already open.
        bool fresh = !sessionActiveFor(client);
        if (ok && fresh) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (session && session->running)
                    counters.startsWhileOpen++;
            }
            conv = static_cast<uint16_t>(++nextConv);
            ok = open_session(client, conv, mediaPort);
        } else if (ok) {
            std::lock_guard<std::mutex> lock(mutex);
            mediaPort = session ? bound_port(session->fd) : 0;
        }
        uint8_t endpoint[6] = {};
        std::string address =
            f.mediaAddressOverride.empty()
                ? (config.mediaAddress.empty() ? config.bindAddress : config.mediaAddress)
                : f.mediaAddressOverride;
        kcpcmd::encode_endpoint(address, mediaPort, endpoint);
        replyPayload.push_back(static_cast<char>(ok ? f.status : (f.status ? f.status : 1)));
        replyPayload.append(reinterpret_cast<const char*>(endpoint), 6);
        replyPayload.push_back(static_cast<char>(conv & 0xff));
        replyPayload.push_back(static_cast<char>((conv >> 8) & 0xff));
    } else if (command == kcpcmd::StopSession) {
        if (f.status == 0)
            end_session();
        replyPayload.push_back(static_cast<char>(f.status));
    } else if (command == kcpcmd::SetProperty) {
        if (payload.size() >= 7) {
            std::lock_guard<std::mutex> lock(mutex);
            counters.lastPropertyFlags = static_cast<uint8_t>(payload[6]);
        }
        size_t size = f.propertyReplySize > 0 ? static_cast<size_t>(f.propertyReplySize) : 1;
        replyPayload.assign(size, '\0');
        replyPayload[0] = static_cast<char>(f.status);
    } else {
        return;
    }

    std::string reply(10, '\0');
    reply[0] = 0x5C;
    reply[1] = 0x5A;
    reply[2] = static_cast<char>(config.sessionByte);
    reply[4] = static_cast<char>(request.bytes[4]);
    reply[5] = static_cast<char>(request.bytes[5]);
    size_t length = 10 + replyPayload.size();
    reply[6] = static_cast<char>(length & 0xff);
    reply[7] = static_cast<char>(length >> 8);
    reply[8] = kcpcmd::Reply;
    reply[9] = static_cast<char>(command);
    reply += replyPayload;
    send_reply(std::move(reply), from, f);
}

bool MediaCamera::Impl::open_session(const MediaEndpoint& client, IUINT32 conv,
                                     uint16_t& mediaPort) {
    end_session();
    auto s = std::make_shared<MediaSession>();
    s->fd = open_udp(config.bindAddress, 0);
    if (s->fd < 0)
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(client.port);
    if (::inet_pton(AF_INET, client.address.c_str(), &to.sin_addr) != 1 ||
        ::connect(s->fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
        return false;
    mediaPort = bound_port(s->fd);
    s->conv = conv;
    s->client = client;
    s->kcp = ikcp_create(conv, s.get());
    ikcp_wndsize(s->kcp, 512, 512);
    ikcp_nodelay(s->kcp, 1, 10, 2, 1);
    ikcp_setoutput(s->kcp, [](const char* buf, int len, ikcpcb*, void* user) {
        auto* session = static_cast<MediaSession*>(user);
        if (session->impairment) {
            session->impairment->submit(buf, len, now_ms());
            return 0;
        }
        return ::send(session->fd, buf, static_cast<size_t>(len), 0) == len ? 0 : -1;
    });
    MediaFaults f;
    {
        std::lock_guard<std::mutex> lock(mutex);
        f = faults;
    }
    if (f.loss > 0 || f.duplicate > 0 || f.reorder > 0) {
        kcpsim::LinkProfile profile;
        profile.loss = f.loss;
        profile.duplicate = f.duplicate;
        profile.reorder = f.reorder;
        profile.reorderMs = f.reorderMs;
        profile.delayMs = 0;
        s->impairment = std::make_unique<kcpsim::Channel>(profile, conv * 7919u + 1);
    }
    s->lastHeard = now_ms();
    {
        std::lock_guard<std::mutex> lock(mutex);
        session = s;
        counters.sessionsStarted++;
        counters.lastConversation = static_cast<uint16_t>(conv);
    }
    s->thread = std::thread([this, s] { run_session(s); });
    return true;
}

void MediaCamera::Impl::end_session() {
    std::shared_ptr<MediaSession> s;
    {
        std::lock_guard<std::mutex> lock(mutex);
        s.swap(session);
    }
    if (!s)
        return;
    s->running = false;
    if (s->thread.joinable() && s->thread.get_id() != std::this_thread::get_id())
        s->thread.join();
    std::lock_guard<std::mutex> lock(mutex);
    counters.sessionsEnded++;
}

void MediaCamera::Impl::send_frame(
    MediaSession& s, const VideoFrame& frame,
    std::deque<std::pair<IUINT32, std::pair<uint64_t, int64_t>>>& pending) {
    auto send_message = [&](const std::string& bytes) {
        size_t offset = 0;
        do {
            size_t chunk = std::min(config.messageMax, bytes.size() - offset);
            bool last = offset + chunk == bytes.size();
            if (ikcp_send(s.kcp, bytes.data() + offset, static_cast<int>(chunk), last ? 1 : 0) <
                0) {
                // The engine refuses a message the client's window cannot
                // hold; the rest of this one is not sent either.
                std::lock_guard<std::mutex> lock(mutex);
                counters.messagesRefused++;
                return;
            }
            offset += chunk;
        } while (offset < bytes.size());
    };
    if (config.sideInfo && !frame.sideInfo.empty()) {
        send_message(kSideInfoPrefix + frame.sideInfo);
        std::lock_guard<std::mutex> lock(mutex);
        counters.sideInfoSent++;
    }
    std::string video = frame.accessUnit;
    int64_t trailerTime = 0;
    if (config.timeTrailer) {
        trailerTime = MediaCamera::steadyMicros();
        if (config.trailerInMilliseconds) {
            std::lock_guard<std::mutex> lock(mutex);
            const int fps = config.framesPerSecond > 0                ? config.framesPerSecond
                            : source && source->framesPerSecond() > 0 ? source->framesPerSecond()
                                                                      : 30;
            trailerTime = 1000000 + static_cast<int64_t>(frameIndex) * 1000 / fps;
        }
        video += kContainerPrefix;
        video += std::string("\x03\x08\x00", 3);
        put_i64(video, trailerTime);
    }
    send_message(video);
    // Sequence number the frame's last segment will carry.
    IUINT32 lastSn = s.kcp->snd_nxt + static_cast<IUINT32>(s.kcp->snd_queue.size()) - 1;
    uint64_t index;
    bool container;
    {
        std::lock_guard<std::mutex> lock(mutex);
        index = frameIndex++;
        counters.framesSent++;
        container = config.containerEvery > 0 && (index + 1) % config.containerEvery == 0;
    }
    pending.emplace_back(lastSn, std::make_pair(index, trailerTime));
    if (container) {
        std::string c = kContainerPrefix;
        std::string data = "rec" + std::to_string(index);
        c.push_back(1);
        c.push_back(static_cast<char>(data.size()));
        c.push_back(0);
        c += data;
        c += std::string("\x02\x08\x00", 3);
        put_i64(c, static_cast<int64_t>(index + 1));
        send_message(c);
        std::lock_guard<std::mutex> lock(mutex);
        counters.containersSent++;
    }
}

void MediaCamera::Impl::run_session(std::shared_ptr<MediaSession> s) {
    const uint64_t start = now_ms();
    auto clock = [start] { return static_cast<IUINT32>(now_ms() - start); };
    std::deque<std::pair<IUINT32, std::pair<uint64_t, int64_t>>> pending;
    IUINT32 countedResends = 0;
    char buffer[2048];

    // Frames are made on a thread of their own, so that a slow encoder does
    // not hold up acknowledgements and retransmissions. A few wait ready.
    struct Produced {
        std::mutex mutex;
        std::condition_variable room;
        std::deque<VideoFrame> frames;
    };
    auto produced = std::make_shared<Produced>();
    const size_t kReady = 4;
    std::thread producer([this, s, produced, kReady] {
        using Clock = std::chrono::steady_clock;
        Clock::time_point nextAt = Clock::now();
        bool streamStarted = false;
        while (s->running) {
            std::shared_ptr<VideoSource> source;
            bool paused;
            {
                std::lock_guard<std::mutex> lock(mutex);
                source = this->source;
                paused = faults.pauseMedia;
            }
            if (!source || paused) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                nextAt = Clock::now();
                continue;
            }
            {
                std::unique_lock<std::mutex> lock(produced->mutex);
                produced->room.wait_for(lock, std::chrono::milliseconds(5), [&] {
                    return produced->frames.size() < kReady || !s->running;
                });
                if (produced->frames.size() >= kReady)
                    continue;
            }
            int fps =
                config.framesPerSecond < 0 ? source->framesPerSecond() : config.framesPerSecond;
            if (fps > 0) {
                const Clock::time_point now = Clock::now();
                if (now < nextAt) {
                    std::this_thread::sleep_for(
                        std::min<Clock::duration>(nextAt - now, std::chrono::milliseconds(5)));
                    continue;
                }
                nextAt = std::max(nextAt + std::chrono::microseconds(1000000 / fps), now);
            }
            if (!streamStarted) {
                source->startStream();
                streamStarted = true;
            }
            VideoFrame frame;
            if (!source->nextFrame(frame))
                return; // the source has ended
            std::lock_guard<std::mutex> lock(produced->mutex);
            produced->frames.push_back(std::move(frame));
        }
    });

    while (s->running) {
        pollfd p{s->fd, POLLIN, 0};
        ::poll(&p, 1, 1);
        for (;;) {
            ssize_t n = ::recv(s->fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0)
                break;
            s->lastHeard = now_ms();
            ikcp_input(s->kcp, buffer, static_cast<long>(n));
        }
        MediaFaults f;
        std::function<void(uint64_t, int64_t)> observer;
        {
            std::lock_guard<std::mutex> lock(mutex);
            f = faults;
            observer = this->observer;
        }
        if (now_ms() - s->lastHeard > static_cast<uint64_t>(config.silenceTimeoutMs))
            break; // the client went away

        // Frames wait at the camera while the link is backed up.
        while (!f.pauseMedia && ikcp_waitsnd(s->kcp) < 2048) {
            VideoFrame frame;
            {
                std::lock_guard<std::mutex> lock(produced->mutex);
                if (produced->frames.empty())
                    break;
                frame = std::move(produced->frames.front());
                produced->frames.pop_front();
            }
            produced->room.notify_all();
            send_frame(*s, frame, pending);
        }

        ikcp_update(s->kcp, clock());
        if (s->impairment) {
            std::string datagram;
            while (s->impairment->take_due(now_ms(), datagram))
                ::send(s->fd, datagram.data(), datagram.size(), 0);
        }
        while (!pending.empty() &&
               static_cast<IINT32>(pending.front().first - s->kcp->snd_nxt) < 0) {
            if (observer)
                observer(pending.front().second.first, pending.front().second.second);
            pending.pop_front();
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            counters.mediaDatagrams = s->impairment ? s->impairment->stats().datagrams : 0;
            counters.timeoutResends += s->kcp->xmit - countedResends;
            countedResends = s->kcp->xmit;
        }
    }
    s->running = false;
    produced->room.notify_all();
    producer.join();
}

bool ListVideoSource::nextFrame(VideoFrame& out) {
    if (next_ >= frames_.size())
        return false;
    out = frames_[next_++];
    return true;
}

PatternVideoSource::PatternVideoSource(size_t minSize, size_t maxSize, uint64_t seed,
                                       int framesPerSecond, uint64_t frameLimit)
    : minSize_(std::max<size_t>(minSize, 16)), maxSize_(std::max(maxSize, minSize_)), seed_(seed),
      fps_(framesPerSecond), limit_(frameLimit) {}

std::string PatternVideoSource::accessUnit(uint64_t seed, uint64_t index, size_t minSize,
                                           size_t maxSize, int framesPerSecond) {
    std::mt19937_64 random(seed * 1000003u + index);
    minSize = std::max<size_t>(minSize, 16);
    maxSize = std::max(maxSize, minSize);
    std::uniform_real_distribution<double> spread(std::log(static_cast<double>(minSize)),
                                                  std::log(static_cast<double>(maxSize)));
    size_t size = static_cast<size_t>(std::exp(spread(random)));
    size = std::min(std::max(size, minSize), maxSize);
    bool key = framesPerSecond <= 0 || index % static_cast<uint64_t>(framesPerSecond) == 0;
    std::string unit;
    unit.reserve(size);
    if (key) {
        unit += std::string("\x00\x00\x00\x01\x67\x42\x00\x1f\x96\x54", 10); // SPS
        unit += std::string("\x00\x00\x00\x01\x68\xce\x3c\x80", 8);          // PPS
        unit += std::string("\x00\x00\x00\x01\x65", 5);                      // IDR slice
    } else {
        unit += std::string("\x00\x00\x00\x01\x41", 5); // P slice
    }
    while (unit.size() < size) {
        uint64_t word = random() | 0x0101010101010101ull; // no zero bytes: no start codes
        for (int i = 0; i < 8 && unit.size() < size; i++)
            unit.push_back(static_cast<char>(word >> (8 * i)));
    }
    unit.resize(size);
    return unit;
}

std::string PatternVideoSource::sideInfoFor(uint64_t index) {
    std::string info(791, '\0');
    // One target box, in pixels of a 1280 x 720 picture, moving with the frame.
    auto put16 = [&info](size_t at, uint32_t v) {
        info[at] = static_cast<char>(v & 0xff);
        info[at + 1] = static_cast<char>((v >> 8) & 0xff);
    };
    info[0] = 1;
    uint32_t x = static_cast<uint32_t>(100 + (index * 7) % 1000);
    put16(1, x);
    put16(3, 300);
    put16(5, 160);
    put16(7, 120);
    put16(9, static_cast<uint32_t>(index & 0xffff));
    return info;
}

bool PatternVideoSource::nextFrame(VideoFrame& out) {
    if (limit_ > 0 && index_ >= limit_)
        return false;
    out.accessUnit = accessUnit(seed_, index_, minSize_, maxSize_, fps_);
    out.sideInfo = sideInfoFor(index_);
    index_++;
    return true;
}

} // namespace camsim
