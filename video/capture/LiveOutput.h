#pragma once

#include "video/capture/MediaMuxer.h"
#include "video/capture/UnitWriter.h"

#include <map>
#include <string>

// Where the live output goes.
struct LiveSettings {
    enum class Kind {
        SrtListener, // a local SRT listener that players and OBS connect to
        UdpMpegTs,   // MPEG-TS over UDP to an address (also multicast)
        RtmpPush,    // FLV pushed to an RTMP server (streaming services)
    };
    Kind kind = Kind::SrtListener;
    // SrtListener: "HOST:PORT" to listen on ("127.0.0.1:9000"); UdpMpegTs:
    // "HOST:PORT" to send to; RtmpPush: the full "rtmp://..." URL.
    std::string address;

    // The URL libavformat opens, with the protocol's options in its query.
    std::string url() const;
    // The URL a player opens to watch ("srt://127.0.0.1:9000").
    std::string shownUrl() const;
    // "mpegts" or "flv".
    std::string format() const;
    // The protocol's options besides the URL's, and the muxer's.
    std::map<std::string, std::string> protocolOptions() const;
    std::map<std::string, std::string> muxerOptions() const;
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
