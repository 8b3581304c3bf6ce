#include "kcpclient/KcpStream.h"

#include "kcpclient/LogLine.h"
#include "kcpclient/SockAddrBoost.h"
#include "kcpclient/ThreadName.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <random>
#include <vector>

#define LOG_SOURCE "kcpclient/KcpStream"

namespace {

// A frame that never ends (no end flag for this many bytes) is dropped
// rather than allowed to eat all memory.
constexpr size_t kFrameLimit = 16u << 20;

int media_output(const char* buf, int len, ikcpcb*, void* user) {
    auto* socket = static_cast<UdpSocket*>(user);
    return socket->send_bytes(buf, static_cast<size_t>(len)) ? 0 : -1;
}

} // namespace

uint32_t kcp_clock_ms() {
    static const auto origin = std::chrono::steady_clock::now();
    auto elapsed = std::chrono::steady_clock::now() - origin;
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

uint16_t random_media_port() {
    static std::mutex mutex;
    static std::minstd_rand generator = [] {
        auto seed = static_cast<std::minstd_rand::result_type>(std::time(nullptr) % 2147483647);
        return std::minstd_rand(seed == 0 ? 1 : seed);
    }();
    std::lock_guard<std::mutex> lock(mutex);
    std::uniform_int_distribution<int> range(10000, 65535);
    return static_cast<uint16_t>(range(generator));
}

KcpStream::KcpStream(const std::string& cameraAddress, uint16_t commandPort)
    : localAddress_(SockAddr::ip_route(cameraAddress)), cameraAddress_(cameraAddress) {
    if (localAddress_.empty() || cameraAddress_.empty())
        return;
    auto commandSocket = make_connected_socket(cameraAddress_, commandPort, 200);
    if (!commandSocket->is_valid())
        return;
    cmdOp_ = std::make_shared<KcpCmdOp>(commandSocket);
    start();
}

KcpStream::~KcpStream() {
    if (started_)
        stop();
}

uint16_t KcpStream::media_port() const {
    return mediaSocket_ ? mediaSocket_->self_port() : 0;
}

bool KcpStream::start() {
    started_ = false;
    do {
        mediaSocket_ = std::make_shared<UdpSocket>(random_media_port(), 100);
    } while (!mediaSocket_->is_valid());
    // The camera may send faster than the thread drains; give the kernel room
    // for a whole window.
    mediaSocket_->set_receive_buffer(KcpStreamDetail::kMediaReceiveBuffer);

    // A start that does not complete is undone at once.
    struct StopUnlessStarted {
        KcpStream* stream;
        ~StopUnlessStarted() {
            if (!stream->started_)
                stream->stop();
        }
    } guard{this};

    MediaEndpoint self{localAddress_, mediaSocket_->self_port()};
    KcpCmdOp::StartResult reply = cmdOp_->start_session(self, 3);
    if (reply.code < 0)
        return false;
    if (!mediaSocket_->connect(reply.address, reply.port) || !mediaSocket_->is_valid())
        return false;
    conv_ = reply.conv;
    if (cmdOp_->session_byte() > 0 && !cmdOp_->set_property_detail(self, true, true, true, 3))
        return false;
    started_ = true;
    LOG_INFO << "media session " << conv_ << " with " << reply.address << ':' << reply.port
             << " from " << localAddress_ << ':' << self.port;
    return true;
}

void KcpStream::stop() {
    if (!cmdOp_ || !mediaSocket_)
        return;
    cmdOp_->stop_session(MediaEndpoint{localAddress_, mediaSocket_->self_port()}, 3);
}

KcpStreamDetail::KcpStreamDetail(const std::string& cameraAddress, uint16_t commandPort,
                                 uint32_t capacity, std::shared_ptr<MediaLinkCounters> counters)
    : KcpStream(cameraAddress, commandPort), queue_(static_cast<int32_t>(capacity), "FrameQueue"),
      counters_(std::move(counters)) {
    if (!started_)
        return;
    // The socket lives as long as the engine: both end with this session.
    kcp_ = ikcp_create(conv_, mediaSocket_.get());
    if (!kcp_)
        LOG_FATAL << "fail to create ikcp";
    ikcp_setoutput(kcp_, &media_output);
    ikcp_wndsize(kcp_, 512, 512);
    ikcp_nodelay(kcp_, 1, 1, 2, 1);
    kcp_->rx_minrto = 10;
    kcp_->fastresend = 1;
    running_ = true;
    thread_ = std::make_shared<std::thread>([this] {
        setCurrentThreadName("orun-media-rx");
        receive_loop();
    });
}

KcpStreamDetail::~KcpStreamDetail() {
    if (started_) {
        running_ = false;
        // Ends the receive thread's wait for the camera at once.
        mediaSocket_->shut_receive();
        if (thread_ && thread_->joinable())
            thread_->join();
        ikcp_release(kcp_);
        kcp_ = nullptr;
        thread_.reset();
    }
}

std::shared_ptr<std::string> KcpStreamDetail::pop_frame(int32_t timeoutMs, int64_t* wholeUs) {
    return queue_.get(timeoutMs, true, wholeUs);
}

uint64_t KcpStreamDetail::frames_dropped() const {
    return queue_.dropped();
}

void KcpStreamDetail::release_waiters() {
    queue_.close();
}

int32_t KcpStreamDetail::frame_count() {
    return queue_.size();
}

void KcpStreamDetail::set_recv_notifier(std::function<void()> notifier) {
    std::function<void()> old;
    {
        std::lock_guard<std::mutex> lock(notifierMutex_);
        old.swap(notifier_);
        notifier_ = std::move(notifier);
    }
}

void KcpStreamDetail::receive_loop() {
    std::vector<char> datagram(UdpSocket::kDatagramMax);
    // Grows to the largest message seen, so no message size can block the
    // engine's receive queue.
    std::vector<char> message(256000);
    auto frame = std::make_shared<std::string>();
    int counter = 0;
    bool oversize = false;
    // The engine's receive counts already added to the shared counters.
    IkcpRecvStats counted;
    auto fold = [](std::atomic<uint64_t>& total, uint64_t now, uint64_t& seen) {
        if (now != seen) {
            total.fetch_add(now - seen, std::memory_order_relaxed);
            seen = now;
        }
    };

    while (running_) {
        uint32_t now = kcp_clock_ms();
        ikcp_update(kcp_, now);
        // With something to send (acknowledgements, a window to tell) the
        // wait ends at the engine's next flush, so that it leaves on time
        // even when the camera pauses for it; with nothing to send it lasts
        // until the camera sends or the destructor shuts the socket.
        int32_t wait = -1;
        if (!ikcp_idle(kcp_))
            wait = std::max(static_cast<int32_t>(ikcp_check(kcp_, now) - now), 0);
        if (!mediaSocket_->wait_readable(wait) || !running_)
            continue;
        long n = mediaSocket_->receive_into(datagram.data(), datagram.size());
        if (n == UdpSocket::kReceiveFailed)
            break; // nothing more can arrive: the session is replaced
        if (n < 0)
            continue;
        std::function<void()> notify;
        {
            std::lock_guard<std::mutex> lock(notifierMutex_);
            notify = notifier_;
        }
        if (notify)
            notify();

        ikcp_input(kcp_, datagram.data(), static_cast<long>(n));
        if (counters_) {
            const IkcpRecvStats& r = kcp_->rstat;
            counters_->datagrams.fetch_add(1, std::memory_order_relaxed);
            fold(counters_->segments, r.segments, counted.segments);
            fold(counters_->duplicateSegments, r.duplicates, counted.duplicates);
            fold(counters_->lateSegments, r.late, counted.late);
            fold(counters_->missingSegments, r.missing, counted.missing);
        }
        if (++counter >= 128) {
            ikcp_update(kcp_, kcp_clock_ms());
            counter = 0;
        }

        // Every whole message goes out now: one datagram may complete several.
        for (;;) {
            int end = 0;
            int size = ikcp_peeksize(kcp_, &end);
            if (size < 0)
                break;
            if (static_cast<size_t>(size) > message.size())
                message.resize(static_cast<size_t>(size));
            int got = ikcp_recv(kcp_, message.data(), static_cast<int>(message.size()), &end);
            if (got < 0)
                break;
            if (frame->size() + static_cast<size_t>(got) > kFrameLimit) {
                if (!oversize)
                    LOG_WARNING << "frame without end beyond " << kFrameLimit << " bytes dropped";
                oversize = true;
                frame->clear();
            }
            frame->append(message.data(), static_cast<size_t>(got));
            if (end) {
                if (!oversize) {
                    queue_.push(frame);
                    if (counters_)
                        counters_->frames.fetch_add(1, std::memory_order_relaxed);
                }
                oversize = false;
                frame = std::make_shared<std::string>();
            }
        }
    }
}
