#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct AVFrame;

// What the decode thread decodes the camera's units with. H264Decoder is the
// one the program uses; the controller makes each decoder it needs through a
// DecoderFactory, so that another one can take its place.
class VideoDecoder {
public:
    enum class Result {
        Picture,   // `out` holds a new picture in system memory
        NotYet,    // the unit was taken; the decoder holds its picture back for now
        NoPicture, // the unit was consumed but gave no picture (an error, logged)
        Unchanged, // nothing decoded (unknown mode, or a hardware frame of another format)
        NoDecoder, // no decoder context: the unit is dropped
    };

    virtual ~VideoDecoder() = default;

    // Sets up a decoder for the requested mode (0 hardware, 1 software, other
    // values keep a software context but decode nothing). `retryFailed`: the
    // hardware device types that failed before are tried again (the user
    // changed the decoder setting, or the link started over). True when a
    // decoder context exists afterwards.
    virtual bool init(int requestedMode, bool retryFailed = false) = 0;
    // The decoder in use stopped giving pictures on the live stream (`why`
    // says how): sets up the next choice after it and says so in one log
    // line. True when a decoder context exists afterwards.
    virtual bool replaceWithNext(const std::string& why) = 0;
    virtual void release() = 0;
    virtual bool ready() const = 0;
    // What decodes: a hardware device type's name or "software"; static text.
    virtual const char* name() const = 0;
    // The hardware device types not used although hardware decoding was
    // asked for, each with why ("vaapi (no device)"); empty when none.
    virtual std::string unusedHardware() const = 0;

    // Decodes one access unit. On Picture, `out` (unreferenced first) holds a
    // picture with its own buffers and the `pts` of the unit it came from,
    // which is not always this unit: a decoder may hold pictures back.
    virtual Result decode(const uint8_t* data, int size, AVFrame* out, int64_t pts) = 0;

    // Pictures of hardware frame format `pixelFormat` (an AVPixelFormat; -1:
    // none) are handed out as the decoder's own surfaces, `out` a hardware
    // frame, instead of being copied into system memory: the screen imports
    // them itself. A decoder that cannot simply ignores it.
    virtual void keepSurfaces(int pixelFormat) { (void)pixelFormat; }
};

using DecoderFactory = std::function<std::unique_ptr<VideoDecoder>()>;
