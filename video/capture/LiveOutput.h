#pragma once

#include "video/capture/MediaMuxer.h"
#include "video/capture/UnitWriter.h"

#include <map>
#include <string>
#include <utility>

// Where the live output goes.
struct LiveSettings {
    enum class Kind {
        SrtListener, // SRT: by default a local listener that players and OBS connect to
        UdpMpegTs,   // MPEG-TS over UDP to an address (also multicast)
        RtmpPush,    // FLV pushed to an RTMP server (streaming services)
    };
    Kind kind = Kind::SrtListener;
    // SrtListener: "HOST:PORT" to listen on ("127.0.0.1:9000"); UdpMpegTs:
    // "HOST:PORT" to send to; RtmpPush: the full "rtmp://..." URL, its stream
    // key and query included.
    std::string address;
    // SrtListener and UdpMpegTs: the protocol's own options ("latency",
    // "ttl", ...), handed to libavformat as given; takesOption() tells which.
    std::map<std::string, std::string> options;

    // The URL libavformat opens, with our defaults for the protocol in its
    // query; the user's options go beside it (protocolOptions).
    std::string url() const;
    // The URL as it is shown and logged: a player's view of it for SRT and
    // UDP ("srt://127.0.0.1:9000", with "?passphrase=••••" when one is set),
    // and for RTMP the scheme, server and application only, the stream key
    // and query hidden ("rtmp://host/app/••••").
    std::string shownUrl() const;
    // "mpegts" or "flv".
    std::string format() const;
    // The options of the protocol (ours and the user's) and of the muxer.
    std::map<std::string, std::string> protocolOptions() const;
    std::map<std::string, std::string> muxerOptions() const;

    // Whether the output waits for its player (SRT in listener mode).
    bool listens() const;
    // Whether the SRT output has a passphrase (its players need it).
    bool hasPassphrase() const;
    // Whether the address is this PC's loopback ("127.x.x.x", "[::1]",
    // "localhost"), which no one else can reach.
    bool onLoopback() const;

    // Whether libavformat's protocol for `kind` takes the option `name`
    // (RTMP takes none: its query belongs to the stream's name).
    static bool takesOption(Kind kind, const std::string& name);
    // An RTMP URL with everything after the application hidden, and any
    // user name or password before the server left out.
    static std::string hiddenRtmpUrl(const std::string& url);
    // "rtmp://host/app" and the stream key (the rest, query included) of an
    // RTMP URL; joinRtmpUrl() puts them together again.
    static std::pair<std::string, std::string> splitRtmpUrl(const std::string& url);
    static std::string joinRtmpUrl(const std::string& server, const std::string& key);
};

// Sends the camera's H.264 as it comes, without re-encoding, to an output
// that libavformat opens: a unit sink whose writer thread ("orun-live") muxes
// MPEG-TS or FLV.
//
// The output is opened on the writer thread (an SRT listener waits there for
// its consumer; stopping cuts the wait short). A consumer always starts with
// a key frame: units are queued only while an output is open, and whatever
// came before the next key frame is skipped. A consumer that goes away, or an
// output that does not open, is reported (OutputClosed, OutputFailed, each
// once until the output opens again) and the output is opened again, at once
// for a listener, after kRetryMs otherwise. The video and other sinks never
// wait for it: a consumer that stops reading makes the queue skip groups of
// pictures, and a write that blocks longer than kWriteTimeoutUs ends the
// connection.
class LiveOutput : public UnitWriter {
public:
    static constexpr size_t kQueueCapacity = 60;
    static constexpr int kRetryMs = 3000;
    static constexpr int64_t kWriteTimeoutUs = 5000000;

    LiveOutput(LiveSettings settings, CaptureReport report);
    ~LiveOutput() override;

    const LiveSettings& settings() const { return m_settings; }

protected:
    void run() override;
    void onStopRequested() override;

private:
    // Feeds one connected output until it ends; false when the writer ends.
    bool feed(MediaMuxer& muxer);
    void tell(CaptureEvent::Kind kind, const std::string& reason = std::string(), int code = 0);

    const LiveSettings m_settings;
    std::string m_lastProblem;
};
