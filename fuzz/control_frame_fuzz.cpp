// Fuzz entry point: one received control datagram through validation,
// unpacking and the dispatch to every reply and push parser of the camera.
//
// Input: one option byte, then the datagram.
//   bit 0  write the datagram's own size into the length field and a correct
//          checksum, so that most inputs get past validation to the parsers
//   bit 1  a sender without an IPv4 form (empty sender text)
//   bit 2  hotspot mode instead of station mode (changes the announcement
//          reply's handling)

#include "camera/CameraReplyParsers.h"
#include "camera/ControlFrame.h"
#include "camera/ReplyDispatcher.h"
#include "fuzz/FuzzQt.h"
#include "hub/OrunAppFace.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

ReplyDispatcher& parserTable() {
    static ReplyDispatcher* table = [] {
        auto* t = new ReplyDispatcher;
        registerCameraParsers(*t);
        return t;
    }();
    return *table;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::prepareQt();
    if (size < 1 || size > 4096)
        return 0;
    const uint8_t options = data[0];
    // The receive thread hands over a buffer of exactly the datagram's size;
    // a vector of that size lets the address checker see any read past it.
    std::vector<uint8_t> datagram(data + 1, data + size);
    const int length = static_cast<int>(datagram.size());
    if ((options & 1) && length >= kFrameHeaderSize) {
        datagram[0] = 0xAA;
        datagram[1] = static_cast<uint8_t>((datagram[1] & 0xF0) | ((length >> 8) & 0x0F));
        datagram[2] = static_cast<uint8_t>(length & 0xFF);
        datagram[6] = 0;
        datagram[7] = 0;
        const uint16_t crc = frameCrc16(datagram.data(), length);
        datagram[6] = static_cast<uint8_t>(crc >> 8);
        datagram[7] = static_cast<uint8_t>(crc & 0xFF);
    }

    OrunAppFace* hub = OrunAppFace::instance();
    hub->iWifiMode = (options & 4) ? 1 : 0;

    if (!validateFrame(datagram.data(), length))
        return 0;
    ControlFrame frame;
    unpackFrame(datagram.data(), length, frame);
    const QString sender = (options & 2) ? QString() : QStringLiteral("192.168.88.10");
    parserTable().dispatch(frame, sender);

    // The station list is only ever appended to; keep it from growing over a
    // long run.
    hub->lstOnlineCamera.set(QStringList());
    hub->lstRecPath.set(QStringList());
    hub->lstPhotoPath.set(QStringList());
    return 0;
}
