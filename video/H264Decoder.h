#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AVBufferRef;
struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

// The hardware device types this platform decodes with, best first
// (AVHWDeviceType values): D3D11VA, then DXVA2 on Windows; VA-API, then CUDA
// (NVDEC), then VDPAU elsewhere. Types the FFmpeg in use was built without are
// left out. The one place where the platform's choice is made.
std::vector<int> platformHwDeviceTypes();

// The H.264 decoder of the video pipeline: hardware decoding through the
// first of the platform's device types that works, or software decoding.
//
// Before a hardware device is used it has to decode a small key frame the
// program carries (and hand the picture back in a format the display
// converts); a device type that fails is remembered for the life of the
// process and not tried again. When none works the decoder decodes in
// software, which the log says once, in one line.
class H264Decoder {
public:
    enum class Result {
        Picture,   // `out` holds a new picture in system memory
        NoPicture, // the unit was consumed but gave no picture (error logged)
        Unchanged, // nothing decoded (unknown mode, or a hardware frame of another format)
        NoDecoder, // no decoder context: the unit is dropped
    };

    H264Decoder();
    ~H264Decoder();
    H264Decoder(const H264Decoder&) = delete;
    H264Decoder& operator=(const H264Decoder&) = delete;

    // Sets up a decoder for the requested mode (0 hardware, 1 software, other
    // values keep a software context but decode nothing). Returns true when a
    // decoder context exists afterwards.
    bool init(int requestedMode);
    // The decoder in use stopped giving pictures on the live stream (`why`
    // says how): sets up the next choice after it (the next hardware device
    // type that works, then software; a software decoder is replaced by a
    // new one) and says so in one log line. The device type given up is not
    // tried again. Returns true when a decoder context exists afterwards.
    bool replaceWithNext(const std::string& why);
    void release();

    bool ready() const { return m_codecCtx != nullptr; }
    // The mode actually in use: 1 after a fall-back from hardware.
    int mode() const { return m_mode; }
    // The hardware device type in use (an AVHWDeviceType), 0 in software.
    int deviceType() const { return m_deviceType; }
    // What decodes: the device type's name ("vaapi", "cuda", "d3d11va", ...)
    // or "software"; static text.
    const char* name() const;

    // Decodes one access unit. On Picture, `out` (unreferenced first) holds the
    // picture, with its own buffers, and the `pts` of the unit it came from.
    Result decode(const uint8_t* data, int size, AVFrame* out, int64_t pts = 0);

    // --- For tests (no user reaches these).
    // Forget which hardware device types were found working or failing.
    static void resetHardwareMemo();
    // Every hardware device fails to open, as on a machine without a GPU.
    static void setDevicesMissingForTesting(bool missing);
    // The next decoder set up (by init or replaceWithNext) fails on every unit
    // after it has given `pictures` pictures, like a hardware decoder that
    // opens but then breaks down; −1 clears a pending failure.
    static void failAfterPicturesForTesting(int pictures);

private:
    // Opens a decoder on the device type; false (with the reason) when the
    // device is missing or does not decode the probe key frame.
    bool openHardware(int type, std::string& reason);
    bool openSoftware();
    // Hardware device types after `after` (0: from the start) in the
    // platform's order, opened in turn until one works; false when none does.
    bool openFirstHardware(int after, std::string& failures);
    void armInjectedFailure();

    const AVCodec* m_codec = nullptr;
    AVCodecContext* m_codecCtx = nullptr;
    AVBufferRef* m_hwDeviceCtx = nullptr;
    AVFrame* m_decFrame = nullptr;
    AVPacket* m_packet = nullptr;
    int m_mode = 0;
    int m_requestedMode = 0;
    int m_deviceType = 0;
    int m_hwPixFmt = -1;
    uint64_t m_pictures = 0;
    int64_t m_failAfter = -1; // injected failure (tests)
};
