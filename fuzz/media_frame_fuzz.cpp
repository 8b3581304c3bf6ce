// Fuzz entry point: media frames as the media client files them (video
// frames, container frames of timed records, side information) and as its
// consumers take them again, with the time trailer of video frames.
//
// Input: pieces (see FuzzInput.h). Each piece is one option byte and a frame:
//   bits 0-1  0 the frame as it is, 1 behind a container prefix
//             (00 00 00 01 18), 2 behind a side-information prefix
//             (00 00 00 01 0D), 3 followed by a time trailer

#include "fuzz/FuzzInput.h"
#include "kcpclient/KcpWrapperDetail.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

// One media client for the whole run: its link monitor has no camera address,
// so it never opens a session.
KcpWrapperDetail& client() {
    static KcpWrapperDetail* c = new KcpWrapperDetail(11155, 100);
    return *c;
}

std::string framed(const std::string& body, uint8_t options) {
    static const std::string container("\x00\x00\x00\x01\x18", 5);
    static const std::string sideInfo("\x00\x00\x00\x01\x0D", 5);
    switch (options & 3) {
    case 1:
        return container + body;
    case 2:
        return sideInfo + body;
    case 3: {
        std::string out = body + container;
        out += std::string("\x03\x08\x00", 3);
        out += std::string(8, '\x5A');
        return out;
    }
    default:
        return body;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 256 * 1024)
        return 0;
    KcpWrapperDetail& media = client();
    fuzz::Pieces in(data, size);
    while (!in.empty()) {
        const std::string piece = in.piece();
        if (piece.empty())
            continue;
        auto frame = std::make_shared<std::string>(framed(piece.substr(1), piece[0]));

        // The consumers' view, taken apart without the queues.
        const MediaDataTime video = KcpWrapperDetail::split_time_trailer(frame);
        if (!video.data || video.data->size() > frame->size())
            __builtin_trap();
        for (const MediaDataTime& record : KcpWrapperDetail::parse_container(*frame)) {
            if (record.data && record.data->size() > frame->size())
                __builtin_trap();
        }

        // Through the queues: every frame filed is taken out again at once,
        // so no call waits for the (absent) media session.
        media.sort_frame(frame);
        while (media.video_queue_size() > 0)
            media.pop_video(0);
        while (media.container_queue_size() > 0)
            media.pop_record(0);
        media.latest_side_info();
    }
    return 0;
}
