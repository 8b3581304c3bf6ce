#include "kcpclient/KcpCmdOp.h"

#include "kcpclient/LogLine.h"
#include "kcpclient/SockAddrBoost.h"
#include "kcpclient/SockUdpBoost.h"

#include <cstring>

#define LOG_SOURCE "kcpclient/KcpCmdOp"

std::string KcpCmd::payload() const {
    size_t len = std::min<size_t>(length(), size);
    if (len <= kHeaderSize)
        return {};
    return std::string(reinterpret_cast<const char*>(bytes.data()) + kHeaderSize,
                       len - kHeaderSize);
}

namespace kcpcmd {

bool encode_endpoint(const std::string& address, uint16_t port, uint8_t out[6]) {
    boost::asio::ip::address_v4 v4;
    if (!SockAddr::parse_v4(address, v4))
        return false;
    uint32_t host = v4.to_uint(); // first octet most significant
    for (int i = 0; i < 4; i++)
        out[i] = static_cast<uint8_t>(host >> (8 * i));
    out[4] = static_cast<uint8_t>(port & 0xff);
    out[5] = static_cast<uint8_t>(port >> 8);
    return true;
}

MediaEndpoint decode_endpoint(const uint8_t in[6]) {
    uint32_t host = uint32_t(in[0]) | (uint32_t(in[1]) << 8) | (uint32_t(in[2]) << 16) |
                    (uint32_t(in[3]) << 24);
    MediaEndpoint endpoint;
    endpoint.address = std::to_string(host >> 24) + '.' + std::to_string((host >> 16) & 0xff) +
                       '.' + std::to_string((host >> 8) & 0xff) + '.' + std::to_string(host & 0xff);
    endpoint.port = static_cast<uint16_t>(in[4] | (in[5] << 8));
    return endpoint;
}

uint8_t xor_of(const uint8_t* data, size_t length) {
    uint8_t x = 0;
    for (size_t i = 0; i < length; i++)
        x ^= data[i];
    return x;
}

bool parse_packet(const std::string& datagram, KcpCmd& out) {
    if (datagram.size() > KcpCmd::kMaxSize || datagram.size() < KcpCmd::kHeaderSize)
        return false;
    const auto* data = reinterpret_cast<const uint8_t*>(datagram.data());
    size_t length = data[6] | (data[7] << 8);
    // The length may not reach past the datagram.
    if (length < KcpCmd::kHeaderSize || length > KcpCmd::kMaxSize || length > datagram.size())
        return false;
    if (xor_of(data, length) != 0)
        return false;
    std::memcpy(out.bytes.data(), data, datagram.size());
    out.size = datagram.size();
    return true;
}

} // namespace kcpcmd

KcpCmdOp::KcpCmdOp(std::shared_ptr<FileBase> socket) : socket_(std::move(socket)) {}

size_t KcpCmdOp::pending() const {
    std::lock_guard<std::mutex> lock(tableMutex_);
    return table_.size();
}

std::optional<uint8_t> KcpCmdOp::next_seqnum() {
    std::lock_guard<std::mutex> lock(tableMutex_);
    uint8_t last = last_.load();
    uint8_t candidate = static_cast<uint8_t>(last + 1);
    while (table_.count(candidate)) {
        candidate = static_cast<uint8_t>(candidate + 1);
        if (candidate == last)
            return std::nullopt;
    }
    table_[candidate] = Entry{};
    last_ = candidate;
    return candidate;
}

void KcpCmdOp::seqnum_auto_erase_by_cmdid(uint8_t command) {
    std::lock_guard<std::mutex> lock(tableMutex_);
    for (auto it = table_.begin(); it != table_.end();) {
        if (it->second.request && it->second.request->command() == command)
            it = table_.erase(it);
        else
            ++it;
    }
}

void KcpCmdOp::erase_seqnum(uint8_t seqnum) {
    std::lock_guard<std::mutex> lock(tableMutex_);
    table_.erase(seqnum);
}

void KcpCmdOp::revise(KcpCmd& cmd, size_t payloadSize) {
    if (payloadSize > KcpCmd::kMaxPayload)
        LOG_FATAL << "payload " << payloadSize;
    size_t length = KcpCmd::kHeaderSize + payloadSize;
    cmd.bytes[6] = static_cast<uint8_t>(length & 0xff);
    cmd.bytes[7] = static_cast<uint8_t>(length >> 8);
    cmd.size = length;
    cmd.bytes[3] = 0;
    cmd.bytes[3] = kcpcmd::xor_of(cmd.bytes.data(), length);
}

KcpCmdPtr KcpCmdOp::package(uint8_t session, uint8_t seqnum, uint8_t command,
                            const MediaEndpoint& endpoint, const std::string& extra) const {
    auto cmd = std::make_shared<KcpCmd>();
    cmd->bytes[0] = 0x5C;
    cmd->bytes[1] = 0x5A;
    cmd->bytes[2] = session;
    cmd->bytes[4] = seqnum;
    cmd->bytes[5] = 0;
    cmd->bytes[8] = kcpcmd::Request;
    cmd->bytes[9] = command;
    if (!kcpcmd::encode_endpoint(endpoint.address, endpoint.port, &cmd->bytes[10]))
        LOG_FATAL << "bad endpoint address " << endpoint.address;
    if (extra.size() >= KcpCmd::kMaxPayload - 6)
        LOG_FATAL << "extra payload " << extra.size();
    std::memcpy(&cmd->bytes[16], extra.data(), extra.size());
    revise(*cmd, 6 + extra.size());
    return cmd;
}

void KcpCmdOp::recv8store(const std::string& datagram) {
    KcpCmd reply;
    if (!kcpcmd::parse_packet(datagram, reply))
        return;
    std::lock_guard<std::mutex> lock(tableMutex_);
    auto it = table_.find(reply.seqnum());
    if (it == table_.end() || !it->second.request || it->second.reply)
        return;
    if (it->second.request->command() != reply.command())
        return;
    it->second.reply = std::make_shared<KcpCmd>(reply);
}

bool KcpCmdOp::has_reply(uint8_t command) const {
    std::lock_guard<std::mutex> lock(tableMutex_);
    for (const auto& entry : table_) {
        if (entry.second.reply && entry.second.reply->command() == command)
            return true;
    }
    return false;
}

void KcpCmdOp::pump(uint8_t command) {
    auto* udp = dynamic_cast<UdpSocket*>(socket_.get());
    if (udp) {
        while (auto datagram = udp->read_nonblock())
            recv8store(*datagram);
    }
    // The blocking read waits for one more datagram, unless the answer is
    // already in.
    if (has_reply(command))
        return;
    if (auto datagram = socket_->read())
        recv8store(*datagram);
}

KcpCmdOp::Result KcpCmdOp::set_property(int32_t session, uint8_t command,
                                        const MediaEndpoint& endpoint, const std::string& extra,
                                        int tries, std::string name) {
    if (tries < 1)
        LOG_FATAL << "tries " << tries;
    if (name.empty())
        name = "set_property(" + std::to_string(command) + ")";

    seqnum_auto_erase_by_cmdid(command);

    // Every sequence number used is released when this call returns.
    struct Release {
        KcpCmdOp* op;
        std::vector<uint8_t> seqnums;
        ~Release() {
            for (uint8_t s : seqnums)
                op->erase_seqnum(s);
        }
    } release{this, {}};

    Result result;
    for (int i = 0; i < tries; i++) {
        std::optional<uint8_t> seqnum = next_seqnum();
        if (!seqnum)
            break;
        release.seqnums.push_back(*seqnum);
        KcpCmdPtr request =
            package(static_cast<uint8_t>(session), *seqnum, command, endpoint, extra);
        if (!socket_->write(request->to_string())) {
            LOG_WARNING << name << ": send failed";
            return result;
        }
        std::lock_guard<std::mutex> lock(tableMutex_);
        table_[*seqnum].request = request;
    }

    for (int round = 0; round < tries; round++) {
        pump(command);
        std::lock_guard<std::mutex> lock(tableMutex_);
        for (const auto& entry : table_) {
            const KcpCmdPtr& reply = entry.second.reply;
            if (!reply || reply->command() != command)
                continue;
            if (reply->direction() == kcpcmd::Reply) {
                result.code = reply->session();
                result.payload = std::make_shared<std::string>(reply->payload());
            }
            return result;
        }
    }
    LOG_WARNING << name << ": no reply";
    return result;
}

KcpCmdOp::StartResult KcpCmdOp::start_session(const MediaEndpoint& endpoint, int tries) {
    StartResult start;
    Result r = set_property(0, kcpcmd::StartSession, endpoint, {}, tries, "开启会话命令(start)");
    if (r.code < 0 || !r.payload)
        return start;
    session_ = r.code;
    const std::string& p = *r.payload;
    if (p.size() != 9 || p[0] != 0) {
        LOG_WARNING << "开启会话命令(start): bad reply payload of " << p.size() << " bytes";
        return start;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(p.data());
    MediaEndpoint media = kcpcmd::decode_endpoint(bytes + 1);
    start.address = media.address;
    start.port = media.port;
    start.conv = static_cast<uint16_t>(bytes[7] | (bytes[8] << 8));
    start.code = r.code;
    return start;
}

bool KcpCmdOp::stop_session(const MediaEndpoint& endpoint, int tries) {
    int32_t session = session_ < 0 ? 0 : session_.load();
    Result r =
        set_property(session, kcpcmd::StopSession, endpoint, {}, tries, "关闭会话命令(stop)");
    return r.code >= 0 && r.payload && r.payload->size() == 1 && (*r.payload)[0] == 0;
}

bool KcpCmdOp::set_property_detail(const MediaEndpoint& endpoint, bool flag0, bool flag1,
                                   bool flag2, int tries) {
    int32_t session = session_ < 0 ? 0 : session_.load();
    std::string flags(1, static_cast<char>((flag0 ? 1 : 0) | (flag1 ? 2 : 0) | (flag2 ? 4 : 0)));
    Result r = set_property(session, kcpcmd::SetProperty, endpoint, flags, tries, "设置媒体属性");
    if (r.code < 0 || !r.payload)
        return false;
    if (r.payload->size() != 1) {
        LOG_ERROR << "设置媒体属性"
                  << ":响应包出现数据域长度错误" << r.payload->size();
        return false;
    }
    return (*r.payload)[0] == 0;
}
