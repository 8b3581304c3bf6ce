#pragma once

#include "video/VideoDecoder.h"

#include <cstdint>
#include <functional>
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

// The hardware devices a decoder may use: the types, best first, and how a
// device of a type is created (0, or an AVERROR code).
struct HardwareDevices {
    std::vector<int> types;
    std::function<int(int type, AVBufferRef** device)> create;
};

// The platform's device types, created by FFmpeg on the default device.
HardwareDevices platformHardwareDevices();

// The H.264 decoder of the video pipeline: hardware decoding through the
// first of the device types that works, or software decoding.
//
// Before a hardware device is used it has to decode a small key frame the
// program carries (and hand the picture back in a format the display
// converts); a device type that fails is remembered for the life of the
// process and skipped (the log says so at each set-up) until a set-up asks
// to retry the failed types. When none works the decoder decodes in
// software, which the log says once per set-up, in one line.
class H264Decoder : public VideoDecoder {
public:
    explicit H264Decoder(HardwareDevices devices = platformHardwareDevices());
    ~H264Decoder() override;
    H264Decoder(const H264Decoder&) = delete;
    H264Decoder& operator=(const H264Decoder&) = delete;

    bool init(int requestedMode, bool retryFailed = false) override;
    // Sets up the next choice after the decoder in use: the next hardware
    // device type that works, then software; a software decoder is replaced
    // by a new one. The device type given up is not tried again.
    bool replaceWithNext(const std::string& why) override;
    void release() override;

    bool ready() const override { return m_codecCtx != nullptr; }
    // The mode actually in use: 1 after a fall-back from hardware.
    int mode() const { return m_mode; }
    // The hardware device type in use (an AVHWDeviceType), 0 in software.
    int deviceType() const { return m_deviceType; }
    // The device type's name ("vaapi", "cuda", "d3d11va", ...) or "software".
    const char* name() const override;
    std::string unusedHardware() const override { return m_unused; }

    Result decode(const uint8_t* data, int size, AVFrame* out, int64_t pts = 0) override;
    void keepSurfaces(int pixelFormat) override { m_keepFormat = pixelFormat; }

    // Forgets which hardware device types were found working or failing.
    static void forgetHardwareVerdicts();

private:
    // Hardware pictures of this format leave as surfaces (keepSurfaces).
    int m_keepFormat = -1;
    // Opens a decoder on the device type; false (with the reason) when the
    // device is missing or does not decode the probe key frame.
    bool openHardware(int type, std::string& reason);
    bool openSoftware();
    // Hardware device types after `after` (0: from the start) in order,
    // opened in turn until one works; false when none does. `failures`
    // names each type that failed now or is skipped for an earlier failure.
    bool openFirstHardware(int after, std::string& failures);
    bool allocateFrames();
    // Takes the next picture out of the decoder into `out`.
    Result receive(AVFrame* out);
    void noteUnused();

    HardwareDevices m_devices;
    const AVCodec* m_codec = nullptr;
    AVCodecContext* m_codecCtx = nullptr;
    AVBufferRef* m_hwDeviceCtx = nullptr;
    AVFrame* m_decFrame = nullptr;
    AVPacket* m_packet = nullptr;
    int m_mode = 0;
    int m_requestedMode = 0;
    int m_deviceType = 0;
    int m_hwPixFmt = -1;
    std::string m_unused;
};
