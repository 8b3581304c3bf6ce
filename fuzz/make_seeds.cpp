// Writes the seed corpus of every fuzz target: small valid inputs built with
// the encoders of the client itself, so that fuzzing starts from inputs that
// reach the parsers.
//
//   make_seeds <corpus folder>

#include "app/visca/ViscaMessage.h"
#include "camera/ControlFrame.h"
#include "fuzz/FuzzInput.h"
#include "kcpclient/KcpCmdOp.h"
#include "kcpclient/ikcp.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

std::string folder;

void writeSeed(const std::string& target, const std::string& name, const std::string& bytes) {
    const std::string dir = folder + "/" + target;
    ::mkdir(dir.c_str(), 0755);
    const std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::string le32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string floatLe(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return le32(bits);
}

// A control frame from the camera, in its wire form.
std::string controlFrame(uint8_t set, uint16_t id, const std::string& payload) {
    ControlFrame frame;
    frame.senderDevice = DeviceCamera;
    frame.receiverDevice = DeviceApp;
    frame.commandSet = set;
    frame.commandId = id;
    frame.sequence = 7;
    frame.payload = QByteArray(payload.data(), static_cast<int>(payload.size()));
    frame.length = static_cast<uint16_t>(kFrameHeaderSize + payload.size());
    std::vector<uint8_t> out(frame.length);
    int length = 0;
    packFrame(frame, out.data(), length);
    return std::string(reinterpret_cast<const char*>(out.data()), length);
}

void controlSeeds() {
    struct Seed {
        const char* name;
        uint8_t set;
        uint16_t id;
        std::string payload;
    };
    const std::string ok(1, '\0');
    const std::vector<Seed> seeds = {
        {"announce", SetUniversal, 0x020, ok},
        {"work-mode", SetCamera, 0x000, ok + std::string("\x02\x00", 2)},
        {"sd-card", SetCamera, 0x0F1, ok + le32(1000) + le32(2000)},
        {"station-info", SetCamera, 0x151,
         ok + std::string(3, '\x01') + "ORUN" + std::string(76, '\0')},
        {"wifi", SetCamera, 0x152, ok + std::string(1, '\x01')},
        {"status", SetCamera, 0x1C1, ok + std::string(88, '\x03')},
        {"status-push", SetCamera, 0x1E0, std::string(88, '\x01')},
        {"record-push", SetCamera, 0x003, std::string("DCIM/VID_0001.MP4\0", 18)},
        {"photo-push", SetCamera, 0x004, std::string("DCIM/IMG_0001.JPG\0", 18)},
        {"wifi-mode-push", SetCamera, 0x752, std::string("\x01\x02\x00\x00\x00", 5)},
        {"zoom-push", SetSdk, 0x07A, std::string("\x20\x00", 2)},
        {"gimbal-push", SetSdk, 0x06A, std::string(28, '\x05')},
        {"sdk-record", SetSdk, 0x02C, ok + std::string(44, '\x02')},
        {"sdk-push", SetSdk, 0x02F, std::string(44, '\x02')},
        {"sdk-b1", SetSdk, 0x0B1, std::string(15, '\x04')},
        {"battery", SetBattery, 0x040, std::string(10, '\0') + std::string(1, '\x03')},
        {"probe", SetFactory, 0x022, ok},
        {"refused", SetCamera, 0x200, std::string(1, '\x05')},
    };
    for (const Seed& s : seeds) {
        // Option 0: the frame as it is, checksum included.
        writeSeed("control_frame", s.name,
                  std::string(1, '\0') + controlFrame(s.set, s.id, s.payload));
    }
}

struct Capture {
    std::vector<std::string> datagrams;
};

int captureOutput(const char* buf, int len, ikcpcb*, void* user) {
    static_cast<Capture*>(user)->datagrams.emplace_back(buf, static_cast<size_t>(len));
    return 0;
}

// The datagrams a KCP sender of the media conversation emits for `messages`.
std::vector<std::string> kcpDatagrams(const std::vector<std::string>& messages, bool end) {
    Capture capture;
    ikcpcb* sender = ikcp_create(0x4F52, &capture);
    ikcp_setoutput(sender, &captureOutput);
    ikcp_wndsize(sender, 128, 128);
    ikcp_nodelay(sender, 1, 10, 2, 1);
    for (const std::string& m : messages)
        ikcp_send(sender, m.data(), static_cast<int>(m.size()), end ? 1 : 0);
    ikcp_update(sender, 1000);
    ikcp_flush(sender);
    ikcp_release(sender);
    return capture.datagrams;
}

void kcpSeeds() {
    const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
        {"one-message", {"hello"}},
        {"three-messages", {"a", std::string(100, 'b'), std::string(700, 'c')}},
        {"fragmented", {std::string(4000, 'f')}},
    };
    for (const auto& c : cases) {
        for (int end = 0; end < 2; ++end) {
            std::string input(1, static_cast<char>(end)); // read-buffer choice
            for (const std::string& d : kcpDatagrams(c.second, end != 0))
                fuzz::appendPiece(input, d);
            writeSeed("ikcp", std::string(c.first) + (end ? "-end" : ""), input);
        }
    }
}

// A media command reply with the given sequence number, command and payload.
std::string commandReply(uint8_t session, uint8_t seq, uint8_t command,
                         const std::string& payload) {
    std::string p(KcpCmd::kHeaderSize, '\0');
    p[0] = '\x5C';
    p[1] = '\x5A';
    p[2] = static_cast<char>(session);
    p[4] = static_cast<char>(seq);
    p[8] = kcpcmd::Reply;
    p[9] = static_cast<char>(command);
    p += payload;
    p[6] = static_cast<char>(p.size() & 0xFF);
    p[7] = static_cast<char>(p.size() >> 8);
    p[3] = static_cast<char>(kcpcmd::xor_of(reinterpret_cast<const uint8_t*>(p.data()), p.size()));
    return p;
}

void commandSeeds() {
    uint8_t endpoint[6] = {};
    kcpcmd::encode_endpoint("192.168.88.10", 50000, endpoint);
    const std::string start = std::string(1, '\0') +
                              std::string(reinterpret_cast<const char*>(endpoint), 6) +
                              std::string("\x34\x12", 2);
    const std::string ok(1, '\0');
    std::string all;
    fuzz::appendPiece(all, std::string(1, '\0') + commandReply(4, 0, kcpcmd::StartSession, start));
    fuzz::appendPiece(all, std::string(1, '\0') + commandReply(4, 3, kcpcmd::StopSession, ok));
    fuzz::appendPiece(all, std::string(1, '\0') + commandReply(4, 6, kcpcmd::SetProperty, ok));
    writeSeed("kcp_cmd", "start-stop-property", all);

    std::string late;
    fuzz::appendPiece(late, std::string(1, '\0') + commandReply(4, 9, kcpcmd::StartSession, start));
    fuzz::appendPiece(late, std::string(1, '\0') + commandReply(4, 2, kcpcmd::StartSession, start));
    writeSeed("kcp_cmd", "foreign-then-last-copy", late);
}

void mediaSeeds() {
    const std::string video = std::string("\x00\x00\x00\x01\x65", 5) + std::string(40, '\x11');
    std::string container; // records after the prefix added by option 1
    container += std::string("\x01\x04\x00", 3) + "data";
    container += std::string("\x02\x08\x00", 3) + std::string(8, '\x01');
    container += std::string("\x01\x02\x00", 3) + "xy";
    std::string all;
    fuzz::appendPiece(all, std::string(1, '\0') + video);
    fuzz::appendPiece(all, std::string(1, '\x03') + video);
    fuzz::appendPiece(all, std::string(1, '\x01') + container);
    fuzz::appendPiece(all, std::string(1, '\x02') + std::string(791, '\x01'));
    writeSeed("media_frame", "each-kind", all);
}

std::string h264AccessUnit(bool withSei) {
    const std::string sc("\x00\x00\x00\x01", 4);
    std::string au = sc + "\x67\x42\x00\x1F\xE9\x01\x40\x16\xE4";
    au += sc + "\x68\xCE\x38\x80";
    if (withSei)
        au += sc + std::string("\x06\x05\x01\x00\x80", 5);
    au += sc + "\x65\x88\x84\x00\x33\xFF";
    return au;
}

void h264Seeds() {
    writeSeed("h264_inspect", "key-frame", h264AccessUnit(true));
    writeSeed("h264_inspect", "key-frame-no-sei", h264AccessUnit(false));
    writeSeed("h264_inspect", "p-slice", std::string("\x00\x00\x00\x01\x41\x9A\x22", 7));
}

void boxSeeds() {
    auto box = [](float l, float t, float r, float b) {
        return std::string(1, '\x01') + floatLe(l) + floatLe(t) + floatLe(r) + floatLe(b) +
               std::string(1, '\0');
    };
    std::string info(36, '\0');
    info[0] = 1;
    info[31] = 2;
    info += box(0.1f, 0.2f, 0.5f, 0.6f);
    info += box(0.0f, 0.0f, 1.0f, 1.0f);
    info.resize(791, '\0');
    writeSeed("target_boxes", "two-boxes-software", std::string("\x50\x3C\x08\x00", 4) + info);
    writeSeed("target_boxes", "two-boxes-hardware", std::string("\x50\x3C\x08\x01", 4) + info);
    std::string one = info;
    one[31] = 1;
    writeSeed("target_boxes", "one-box", std::string("\x10\x10\x00\x00", 4) + one);
}

// A VISCA-over-IP datagram of the given payload type and sequence number.
std::string viscaDatagram(uint16_t type, uint32_t sequence, const std::string& payload) {
    std::string d;
    d.push_back(static_cast<char>(type >> 8));
    d.push_back(static_cast<char>(type & 0xFF));
    d.push_back(static_cast<char>(payload.size() >> 8));
    d.push_back(static_cast<char>(payload.size() & 0xFF));
    for (int shift = 24; shift >= 0; shift -= 8)
        d.push_back(static_cast<char>((sequence >> shift) & 0xFF));
    return d + payload;
}

void viscaSeeds() {
    const std::string commands[] = {
        std::string("\x81\x01\x06\x01\x0C\x0A\x01\x02\xFF", 9), // pan-tilt drive
        std::string("\x81\x01\x06\x01\x18\x17\x03\x03\xFF", 9), // pan-tilt stop
        std::string("\x81\x01\x04\x07\x25\xFF", 6),             // zoom tele, speed 5
        std::string("\x81\x01\x04\x07\x00\xFF", 6),             // zoom stop
        std::string("\x81\x01\x04\x47\x02\x00\x00\x00\xFF", 9), // zoom direct
        std::string("\x81\x01\x04\x18\x01\xFF", 6),             // focus one-push
        std::string("\x81\x01\x04\x38\x02\xFF", 6),             // focus auto
        std::string("\x81\x0A\x11\x54\x02\xFF", 6),             // tracking on
        std::string("\x81\x01\x04\x3F\x02\x01\xFF", 7),         // preset recall
    };
    const std::string inquiries[] = {
        std::string("\x81\x09\x04\x00\xFF", 5), std::string("\x81\x09\x00\x02\xFF", 5),
        std::string("\x81\x09\x04\x47\xFF", 5), std::string("\x81\x09\x04\x38\xFF", 5),
        std::string("\x81\x09\x06\x12\xFF", 5), std::string("\x81\x09\x7E\x7E\x00\xFF", 6),
    };
    // State byte: linked, tracking allowed, zoom 2.0.
    const std::string linked(1, static_cast<char>(0x03 | (21 << 2)));
    const std::string datagram(1, '\0');
    const std::string stream(1, '\x01');

    std::string udp = linked;
    uint32_t sequence = 0;
    for (const std::string& c : commands)
        fuzz::appendPiece(udp, datagram + viscaDatagram(visca::kCommand, sequence++, c));
    for (const std::string& i : inquiries)
        fuzz::appendPiece(udp, datagram + viscaDatagram(visca::kInquiry, sequence++, i));
    fuzz::appendPiece(udp, datagram + viscaDatagram(visca::kControlCommand, 0xFFFFFFFF, "\x01"));
    writeSeed("visca", "udp-every-request", udp);

    std::string unlinked(1, '\0');
    fuzz::appendPiece(unlinked, datagram + viscaDatagram(visca::kCommand, 1, commands[0]));
    fuzz::appendPiece(unlinked, datagram + viscaDatagram(visca::kCommand, 2, inquiries[2]));
    // A length field that lies, a reply, an unknown command.
    std::string lying = viscaDatagram(visca::kCommand, 3, commands[2]);
    lying[3] = 0x09;
    fuzz::appendPiece(unlinked, datagram + lying);
    fuzz::appendPiece(unlinked, std::string(1, '\x02') + lying);
    fuzz::appendPiece(unlinked, datagram + viscaDatagram(visca::kReply, 4, "\x90\x41\xFF"));
    fuzz::appendPiece(
        unlinked,
        datagram + viscaDatagram(visca::kCommand, 5, std::string("\x81\x01\x04\x00\x02\xFF", 6)));
    writeSeed("visca", "udp-unlinked-and-bad", unlinked);

    // The TCP stream: messages cut across chunks, garbage and an overlong run.
    std::string all;
    for (const std::string& c : commands)
        all += c;
    for (const std::string& i : inquiries)
        all += i;
    std::string tcp = linked;
    for (size_t at = 0; at < all.size(); at += 7)
        fuzz::appendPiece(tcp, stream + all.substr(at, 7));
    fuzz::appendPiece(tcp, stream + std::string("\x12\x34", 2) + std::string(20, '\x01') +
                               std::string("\xFF", 1) + inquiries[0]);
    writeSeed("visca", "tcp-stream", tcp);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    folder = argv[1];
    ::mkdir(folder.c_str(), 0755);
    controlSeeds();
    kcpSeeds();
    commandSeeds();
    mediaSeeds();
    h264Seeds();
    boxSeeds();
    viscaSeeds();
    return 0;
}
