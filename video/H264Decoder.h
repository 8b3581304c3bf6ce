#pragma once

#include <cstdint>

struct AVBufferRef;
struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

// The hardware device type this platform decodes with: DXVA2 on Windows,
// VA-API elsewhere (an AVHWDeviceType value). The one place where the
// platform's choice is made.
int platformHwDeviceType();

// The H.264 decoder of the video pipeline: hardware decoding through the
// platform's device type, or software decoding. When the hardware device
// cannot be created the decoder logs it once per process and decodes in
// software instead, so that a machine without a video device still shows
// pictures.
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
    void release();

    bool ready() const { return m_codecCtx != nullptr; }
    // The mode actually in use: 1 after a fall-back from hardware.
    int mode() const { return m_mode; }

    // Decodes one access unit. On Picture, `out` (unreferenced first) holds the
    // picture, with its own buffers, and the `pts` of the unit it came from.
    Result decode(const uint8_t* data, int size, AVFrame* out, int64_t pts = 0);

    // For tests: forget that the hardware device was found missing.
    static void resetHardwareMemo();

private:
    bool initHardware();

    const AVCodec* m_codec = nullptr;
    AVCodecContext* m_codecCtx = nullptr;
    AVBufferRef* m_hwDeviceCtx = nullptr;
    AVFrame* m_decFrame = nullptr;
    AVPacket* m_packet = nullptr;
    int m_mode = 0;
};
