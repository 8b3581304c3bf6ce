#include "video/capture/LiveOutput.h"

#include "video/capture/UnitClock.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr int kStopGraceMs = 1000;

// What stands for a hidden secret.
const char* const kHidden = "\u2022\u2022\u2022\u2022";

// The options of libavformat's "srt" and "udp" protocols (as FFmpeg
// documents them); rw_timeout is ours.
const char* const kSrtOptions[] = {"timeout",
                                   "listen_timeout",
                                   "send_buffer_size",
                                   "recv_buffer_size",
                                   "pkt_size",
                                   "payload_size",
                                   "maxbw",
                                   "pbkeylen",
                                   "passphrase",
                                   "enforced_encryption",
                                   "kmrefreshrate",
                                   "kmpreannounce",
                                   "snddropdelay",
                                   "mss",
                                   "ffs",
                                   "ipttl",
                                   "iptos",
                                   "inputbw",
                                   "oheadbw",
                                   "latency",
                                   "tsbpddelay",
                                   "rcvlatency",
                                   "peerlatency",
                                   "tlpktdrop",
                                   "nakreport",
                                   "connect_timeout",
                                   "mode",
                                   "sndbuf",
                                   "rcvbuf",
                                   "lossmaxttl",
                                   "minversion",
                                   "streamid",
                                   "srt_streamid",
                                   "smoother",
                                   "messageapi",
                                   "transtype",
                                   "linger",
                                   "tsbpd"};
const char* const kUdpOptions[] = {"buffer_size",  "bitrate",          "burst_bits", "localport",
                                   "local_port",   "localaddr",        "pkt_size",   "reuse",
                                   "reuse_socket", "broadcast",        "ttl",        "connect",
                                   "fifo_size",    "overrun_nonfatal", "timeout",    "sources",
                                   "block"};

template <size_t N> bool listed(const char* const (&names)[N], const std::string& name) {
    return std::any_of(std::begin(names), std::end(names),
                       [&name](const char* known) { return name == known; });
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The start of an RTMP URL's path ("/app..."), or npos; `server` gets where
// the server begins (after any user name and password).
size_t rtmpPathStart(const std::string& url, size_t* server) {
    const size_t scheme = url.find("://");
    const size_t authority = scheme == std::string::npos ? 0 : scheme + 3;
    size_t end = url.find_first_of("/?#", authority);
    const std::string host =
        url.substr(authority, end == std::string::npos ? std::string::npos : end - authority);
    const size_t at = host.rfind('@');
    *server = at == std::string::npos ? authority : authority + at + 1;
    return end;
}

} // namespace

std::string LiveSettings::url() const {
    // Our defaults in the query, as libavformat's protocols read them there;
    // the user's options go beside the URL (protocolOptions), so that a
    // passphrase never is in a URL that a log line could name.
    std::string query;
    auto add = [&](const char* name, const char* value) {
        if (options.count(name) == 0)
            query += (query.empty() ? "?" : "&") + std::string(name) + "=" + value;
    };
    switch (kind) {
    case Kind::SrtListener:
        add("mode", "listener");
        // Seven transport-stream packets to a datagram, as players expect.
        add("pkt_size", "1316");
        return "srt://" + address + query;
    case Kind::UdpMpegTs:
        add("pkt_size", "1316");
        return "udp://" + address + query;
    case Kind::RtmpPush:
        return address;
    }
    return address;
}

std::string LiveSettings::shownUrl() const {
    switch (kind) {
    case Kind::SrtListener:
        return "srt://" + address + (hasPassphrase() ? std::string("?passphrase=") + kHidden : "");
    case Kind::UdpMpegTs:
        return "udp://" + address;
    case Kind::RtmpPush:
        return hiddenRtmpUrl(address);
    }
    return std::string();
}

std::string LiveSettings::format() const {
    return kind == Kind::RtmpPush ? "flv" : "mpegts";
}

std::map<std::string, std::string> LiveSettings::muxerOptions() const {
    // A stream has no end to seek back to for its length.
    if (kind == Kind::RtmpPush)
        return {{"flvflags", "no_duration_filesize"}};
    return {};
}

std::map<std::string, std::string> LiveSettings::protocolOptions() const {
    std::map<std::string, std::string> out;
    if (kind != Kind::RtmpPush)
        for (const auto& option : options)
            out[option.first] = option.second;
    out["rw_timeout"] = std::to_string(LiveOutput::kWriteTimeoutUs);
    return out;
}

bool LiveSettings::listens() const {
    if (kind != Kind::SrtListener)
        return false;
    const auto mode = options.find("mode");
    return mode == options.end() || lower(mode->second) == "listener";
}

bool LiveSettings::hasPassphrase() const {
    const auto passphrase = options.find("passphrase");
    return kind == Kind::SrtListener && passphrase != options.end() && !passphrase->second.empty();
}

bool LiveSettings::onLoopback() const {
    const size_t colon = address.rfind(':');
    const std::string host = lower(address.substr(0, colon));
    return host.rfind("127.", 0) == 0 || host == "[::1]" || host == "localhost";
}

bool LiveSettings::takesOption(Kind kind, const std::string& name) {
    switch (kind) {
    case Kind::SrtListener:
        return listed(kSrtOptions, name);
    case Kind::UdpMpegTs:
        return listed(kUdpOptions, name);
    case Kind::RtmpPush:
        break;
    }
    return false;
}

std::pair<std::string, std::string> LiveSettings::splitRtmpUrl(const std::string& url) {
    size_t server = 0;
    const size_t path = rtmpPathStart(url, &server);
    if (path == std::string::npos)
        return {url, std::string()};
    // The application is the path's first part.
    size_t end = path;
    if (url[path] == '/')
        end = url.find_first_of("/?#", path + 1);
    if (end == std::string::npos)
        return {url, std::string()};
    // "/KEY" gives "KEY"; "/?..." and "?..." are kept as they are.
    const bool slash =
        url[end] == '/' && end + 1 < url.size() && url[end + 1] != '?' && url[end + 1] != '#';
    return {url.substr(0, end), url.substr(slash ? end + 1 : end)};
}

std::string LiveSettings::joinRtmpUrl(const std::string& server, const std::string& key) {
    if (key.empty())
        return server;
    if (key[0] == '/' || key[0] == '?' || key[0] == '#')
        return server + key;
    return server + "/" + key;
}

std::string LiveSettings::hiddenRtmpUrl(const std::string& url) {
    size_t server = 0;
    rtmpPathStart(url, &server);
    const size_t scheme = url.find("://");
    const std::string prefix =
        scheme == std::string::npos ? std::string() : url.substr(0, scheme + 3);
    const std::pair<std::string, std::string> parts = splitRtmpUrl(url);
    std::string shown = prefix + parts.first.substr(std::min(server, parts.first.size()));
    if (!parts.second.empty())
        shown += std::string(shown.back() == '/' ? "" : "/") + kHidden;
    return shown;
}

LiveOutput::LiveOutput(LiveSettings settings, CaptureReport report)
    : UnitWriter("orun-live", kQueueCapacity, std::move(report)), m_settings(std::move(settings)) {
    setAccepting(false);
}

LiveOutput::~LiveOutput() {
    stop(kStopGraceMs);
}

void LiveOutput::onStopRequested() {
    // Nothing of a live output is worth waiting for: cut its waits at once.
    m_abort = true;
}

void LiveOutput::tell(CaptureEvent::Kind kind, const std::string& reason, int code) {
    CaptureEvent event;
    event.kind = kind;
    event.path = m_settings.shownUrl();
    event.reason = reason;
    event.errorNumber = MediaMuxer::systemError(code);
    report(event);
}

void LiveOutput::run() {
    MediaMuxer muxer(m_abort);
    const bool listener = m_settings.listens();
    while (!stopAsked() && !m_abort.load()) {
        setAccepting(false);
        m_queue.clear();
        if (listener)
            tell(CaptureEvent::Kind::OutputWaiting);
        std::string reason;
        int code = 0;
        if (!muxer.connect(m_settings.url(), m_settings.protocolOptions(), &reason, &code)) {
            if (stopAsked() || m_abort.load())
                break;
            if (reason != m_lastProblem) {
                m_lastProblem = reason;
                tell(CaptureEvent::Kind::OutputFailed, reason, code);
            }
            if (!idle(kRetryMs))
                break;
            continue;
        }
        if (!feed(muxer))
            break;
        if (!listener && !idle(kRetryMs))
            break;
    }
    setAccepting(false);
    muxer.close(nullptr, false);
}

bool LiveOutput::feed(MediaMuxer& muxer) {
    UnitClock clock;
    StreamParams params;
    m_queue.clear();
    setAccepting(true);
    VideoUnit unit;
    StreamBreak reason = StreamBreak::Stopped;
    for (;;) {
        const UnitQueue::Taken taken = m_queue.take(unit, reason);
        if (taken == UnitQueue::Taken::Nothing) {
            muxer.close(nullptr, false);
            return false;
        }
        if (taken == UnitQueue::Taken::Break) {
            if (reason == StreamBreak::Stopped && stopAsked()) {
                muxer.close(nullptr, muxer.isOpen());
                return false;
            }
            continue;
        }
        if (!unit.data || unit.data->empty())
            continue;
        std::string problem;
        int code = 0;
        if (!muxer.isOpen()) {
            // A consumer starts with a key frame and its parameter sets.
            if (!unit.keyFrame || !readStreamParams(*unit.data, &params))
                continue;
            if (!muxer.begin(m_settings.format(), params, m_settings.muxerOptions(), &problem,
                             &code)) {
                tell(CaptureEvent::Kind::OutputFailed, problem, code);
                m_lastProblem = problem;
                muxer.close(nullptr, false);
                setAccepting(false);
                return idle(kRetryMs);
            }
            m_lastProblem.clear();
            countOutput();
            tell(CaptureEvent::Kind::OutputOpened);
        } else if (unit.keyFrame && m_settings.format() == "flv") {
            // FLV announces the parameter sets once: a new picture size
            // needs a new stream.
            StreamParams next;
            if (readStreamParams(*unit.data, &next) && next.sps != params.sps) {
                muxer.close(nullptr, true);
                setAccepting(false);
                return true;
            }
        }
        clock.learn(unit.cameraTime, unit.arrivalUs);
        const int64_t pts =
            clock.stamp(unit.cameraTime, unit.arrivalUs) * MediaMuxer::kTicksPerSecond / 1000000;
        if (!muxer.write(*unit.data, pts, 0, unit.keyFrame, &problem, &code)) {
            if (m_abort.load()) {
                muxer.close(nullptr, false);
                return false;
            }
            tell(CaptureEvent::Kind::OutputClosed, problem, code);
            muxer.close(nullptr, false);
            setAccepting(false);
            return true;
        }
        countWritten(unit.data->size());
        unit = VideoUnit{};
    }
}
