#include "kcpclient/ikcp.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Signed distance between two 32-bit counters that may wrap (times and
// sequence numbers alike).
inline IINT32 diff(IUINT32 later, IUINT32 earlier) {
    return static_cast<IINT32>(later - earlier);
}

inline bool before(IUINT32 a, IUINT32 b) {
    return diff(a, b) < 0;
}

void put32(char*& p, IUINT32 v) {
    p[0] = static_cast<char>(v & 0xff);
    p[1] = static_cast<char>((v >> 8) & 0xff);
    p[2] = static_cast<char>((v >> 16) & 0xff);
    p[3] = static_cast<char>((v >> 24) & 0xff);
    p += 4;
}

void put16(char*& p, IUINT32 v) {
    p[0] = static_cast<char>(v & 0xff);
    p[1] = static_cast<char>((v >> 8) & 0xff);
    p += 2;
}

void put8(char*& p, IUINT32 v) {
    *p++ = static_cast<char>(v & 0xff);
}

IUINT32 get32(const char*& p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    p += 4;
    return IUINT32(u[0]) | (IUINT32(u[1]) << 8) | (IUINT32(u[2]) << 16) | (IUINT32(u[3]) << 24);
}

IUINT32 get16(const char*& p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    p += 2;
    return IUINT32(u[0]) | (IUINT32(u[1]) << 8);
}

IUINT32 get8(const char*& p) {
    return static_cast<unsigned char>(*p++);
}

bool is_data(IUINT32 cmd) {
    return cmd == IKCP_CMD_PUSH || cmd == IKCP_CMD_PUSH_END;
}

void diagnose(const ikcpcb* kcp, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(kcp->diag, sizeof kcp->diag, format, args);
    va_end(args);
}

// Writes one segment header at p.
char* encode_header(char* p, const IKCPSEG& seg, IUINT32 len) {
    put32(p, seg.conv);
    put8(p, seg.cmd);
    put8(p, seg.frg);
    put16(p, seg.wnd);
    put32(p, seg.ts);
    put32(p, seg.sn);
    put32(p, seg.una);
    put32(p, len);
    return p;
}

IUINT32 unused_window(const ikcpcb* kcp) {
    return kcp->nrcv_que < kcp->rcv_wnd ? kcp->rcv_wnd - kcp->nrcv_que : 0;
}

// The oldest unacknowledged sequence number follows the send buffer.
void refresh_una(ikcpcb* kcp) {
    kcp->snd_una = kcp->snd_buf.empty() ? kcp->snd_nxt : kcp->snd_buf.front().sn;
}

// Classic smoothed estimator: srtt weight 7/8, rttval weight 3/4. A sample
// beyond the largest rto (an echo of an ancient timestamp) counts as that
// much, which also keeps the sums below from overflowing.
void sample_rtt(ikcpcb* kcp, IINT32 rtt) {
    rtt = std::min<IINT32>(rtt, IKCP_RTO_MAX);
    if (kcp->rx_srtt == 0) {
        kcp->rx_srtt = rtt;
        kcp->rx_rttval = rtt / 2;
    } else {
        IINT32 delta = rtt > kcp->rx_srtt ? rtt - kcp->rx_srtt : kcp->rx_srtt - rtt;
        kcp->rx_rttval = (3 * kcp->rx_rttval + delta) / 4;
        kcp->rx_srtt = (7 * kcp->rx_srtt + rtt) / 8;
        if (kcp->rx_srtt < 1)
            kcp->rx_srtt = 1;
    }
    IINT32 margin = std::max<IINT32>(static_cast<IINT32>(kcp->interval), 4 * kcp->rx_rttval);
    IINT32 rto = kcp->rx_srtt + margin;
    kcp->rx_rto = std::min<IINT32>(std::max<IINT32>(rto, kcp->rx_minrto), IKCP_RTO_MAX);
}

// A selective acknowledgement removes exactly that segment.
void acknowledge_one(ikcpcb* kcp, IUINT32 sn) {
    if (before(sn, kcp->snd_una) || !before(sn, kcp->snd_nxt))
        return;
    for (auto it = kcp->snd_buf.begin(); it != kcp->snd_buf.end(); ++it) {
        if (it->sn == sn) {
            kcp->snd_buf.erase(it);
            kcp->nsnd_buf--;
            return;
        }
        if (before(sn, it->sn))
            return;
    }
}

// The peer's una acknowledges everything below it.
void acknowledge_below(ikcpcb* kcp, IUINT32 una) {
    while (!kcp->snd_buf.empty() && before(kcp->snd_buf.front().sn, una)) {
        kcp->snd_buf.pop_front();
        kcp->nsnd_buf--;
    }
}

// Every outstanding segment older than the newest acknowledged one was
// skipped by the peer once more.
void count_skips(ikcpcb* kcp, IUINT32 maxack) {
    if (before(maxack, kcp->snd_una) || !before(maxack, kcp->snd_nxt))
        return;
    for (auto& seg : kcp->snd_buf) {
        if (before(maxack, seg.sn))
            break;
        if (seg.sn != maxack)
            seg.fastack++;
    }
}

// Moves the in-order head of the receive buffer into the receive queue.
void drain_rcv_buf(ikcpcb* kcp) {
    while (!kcp->rcv_buf.empty()) {
        IKCPSEG& seg = kcp->rcv_buf.front();
        if (seg.sn != kcp->rcv_nxt || kcp->nrcv_que >= kcp->rcv_wnd)
            break;
        kcp->rcv_queue.push_back(std::move(seg));
        kcp->rcv_buf.pop_front();
        kcp->nrcv_buf--;
        kcp->nrcv_que++;
        kcp->rcv_nxt++;
    }
}

// Files a received data segment by sequence number, dropping duplicates and
// segments outside the receive window.
void accept_data(ikcpcb* kcp, IKCPSEG&& seg) {
    IUINT32 sn = seg.sn;
    if (!before(sn, kcp->rcv_nxt + kcp->rcv_wnd) || before(sn, kcp->rcv_nxt))
        return;
    auto it = kcp->rcv_buf.end();
    while (it != kcp->rcv_buf.begin()) {
        auto prev = std::prev(it);
        if (prev->sn == sn)
            return; // already held
        if (before(prev->sn, sn))
            break;
        it = prev;
    }
    kcp->rcv_buf.insert(it, std::move(seg));
    kcp->nrcv_buf++;
    drain_rcv_buf(kcp);
}

} // namespace

ikcpcb* ikcp_create(IUINT32 conv, void* user) {
    auto* kcp = new (std::nothrow) IKCPCB();
    if (!kcp)
        return nullptr;
    kcp->conv = conv;
    kcp->user = user;
    kcp->mtu = IKCP_MTU_DEF;
    kcp->mss = kcp->mtu - IKCP_OVERHEAD;
    kcp->state = 0;
    kcp->snd_una = kcp->snd_nxt = kcp->rcv_nxt = 0;
    kcp->ts_recent = kcp->ts_lastack = 0;
    kcp->ssthresh = IKCP_THRESH_INIT;
    kcp->rx_rttval = 0;
    kcp->rx_srtt = 0;
    kcp->rx_rto = IKCP_RTO_DEF;
    kcp->rx_minrto = IKCP_RTO_MIN;
    kcp->snd_wnd = IKCP_WND_SND;
    kcp->rcv_wnd = IKCP_WND_RCV;
    kcp->rmt_wnd = IKCP_WND_RCV;
    kcp->cwnd = 0;
    kcp->probe = 0;
    kcp->current = 0;
    kcp->interval = IKCP_INTERVAL;
    kcp->ts_flush = IKCP_INTERVAL;
    kcp->xmit = 0;
    kcp->nrcv_buf = kcp->nsnd_buf = kcp->nrcv_que = kcp->nsnd_que = 0;
    kcp->nodelay = 0;
    kcp->updated = 0;
    kcp->ts_probe = 0;
    kcp->probe_wait = 0;
    kcp->dead_link = IKCP_DEADLINK;
    kcp->incr = 0;
    try {
        kcp->buffer.resize((kcp->mtu + IKCP_OVERHEAD) * 3);
    } catch (const std::bad_alloc&) {
        delete kcp;
        return nullptr;
    }
    kcp->fastresend = 0;
    kcp->nocwnd = 0;
    kcp->stream = 0;
    kcp->logmask = 0;
    kcp->output = nullptr;
    kcp->writelog = nullptr;
    kcp->diag[0] = '\0';
    return kcp;
}

void ikcp_release(ikcpcb* kcp) {
    delete kcp;
}

void ikcp_setoutput(ikcpcb* kcp, ikcp_output_fn output) {
    kcp->output = output;
}

int ikcp_peeksize(const ikcpcb* kcp, int* end) {
    if (kcp->rcv_queue.empty())
        return -1;
    const IKCPSEG& first = kcp->rcv_queue.front();
    if (first.frg == 0) {
        if (end && first.cmd == IKCP_CMD_PUSH_END)
            *end = 1;
        return static_cast<int>(first.len());
    }
    if (kcp->nrcv_que < first.frg + 1)
        return -1; // the rest of the message is still on its way
    long size = 0;
    for (const IKCPSEG& seg : kcp->rcv_queue) {
        size += seg.len();
        if (seg.frg == 0) {
            if (end && seg.cmd == IKCP_CMD_PUSH_END)
                *end = 1;
            return static_cast<int>(size);
        }
    }
    diagnose(kcp, "can not find frg 0 pack!");
    return static_cast<int>(size);
}

int ikcp_recv(ikcpcb* kcp, char* buffer, int len, int* end) {
    if (len <= 0) {
        diagnose(kcp, "Invalid len %d", len);
        return -3;
    }
    if (end)
        *end = 0;
    if (kcp->rcv_queue.empty())
        return -1;
    int peeksize = ikcp_peeksize(kcp, end);
    if (peeksize < 0)
        return -2;
    if (peeksize > len) {
        diagnose(kcp, "buf len %d < pack size %d", len, peeksize);
        return -3;
    }
    bool recover = kcp->nrcv_que >= kcp->rcv_wnd;

    int copied = 0;
    while (!kcp->rcv_queue.empty()) {
        IKCPSEG& seg = kcp->rcv_queue.front();
        IUINT32 fragment = seg.frg;
        std::memcpy(buffer + copied, seg.data.data(), seg.data.size());
        copied += static_cast<int>(seg.data.size());
        kcp->rcv_queue.pop_front();
        kcp->nrcv_que--;
        if (fragment == 0)
            break;
    }

    drain_rcv_buf(kcp);
    // The peer saw a full window: tell it there is room again.
    if (kcp->nrcv_que < kcp->rcv_wnd && recover)
        kcp->probe |= IKCP_ASK_TELL;
    return copied;
}

int ikcp_send(ikcpcb* kcp, const char* buffer, int len, int end) {
    if (len < 0)
        return -1;
    IUINT32 mss = kcp->mss;
    IUINT32 dataCmd = end ? IKCP_CMD_PUSH_END : IKCP_CMD_PUSH;

    if (kcp->stream && !kcp->snd_queue.empty()) {
        // Stream mode tops up the last queued segment first; it then ends
        // with this call's data and so takes this call's command.
        IKCPSEG& last = kcp->snd_queue.back();
        if (last.len() < mss) {
            IUINT32 room = mss - last.len();
            IUINT32 take = std::min<IUINT32>(room, static_cast<IUINT32>(len));
            last.data.append(buffer, take);
            last.cmd = dataCmd;
            last.frg = 0;
            buffer += take;
            len -= static_cast<int>(take);
        }
        if (len == 0)
            return 0;
    }

    IUINT32 count =
        static_cast<IUINT32>(len) <= mss ? 1 : (static_cast<IUINT32>(len) + mss - 1) / mss;
    // The receive window bounds a message, and frg, one byte on the wire,
    // can number at most 256 fragments.
    if (count >= kcp->rcv_wnd || count > IKCP_FRG_MAX)
        return -2;

    for (IUINT32 i = 0; i < count; i++) {
        IUINT32 size = std::min<IUINT32>(static_cast<IUINT32>(len), mss);
        IKCPSEG seg;
        if (buffer && size > 0)
            seg.data.assign(buffer, size);
        seg.frg = kcp->stream ? 0 : count - i - 1;
        bool lastFragment = kcp->stream || seg.frg == 0;
        seg.cmd = lastFragment ? dataCmd : IKCP_CMD_PUSH;
        kcp->snd_queue.push_back(std::move(seg));
        kcp->nsnd_que++;
        if (buffer)
            buffer += size;
        len -= static_cast<int>(size);
    }
    return 0;
}

int ikcp_input(ikcpcb* kcp, const char* data, long size) {
    if (!data || size < static_cast<long>(IKCP_OVERHEAD))
        return -1;

    IUINT32 prev_una = kcp->snd_una;
    bool acked = false;
    IUINT32 maxack = 0;

    while (size > 0) {
        if (size < static_cast<long>(IKCP_OVERHEAD)) {
            diagnose(kcp, "Invalid data size %lu", static_cast<unsigned long>(size));
            break;
        }
        const char* p = data;
        IUINT32 conv = get32(p);
        if (conv != kcp->conv)
            return -1;
        IUINT32 cmd = get8(p);
        IUINT32 frg = get8(p);
        IUINT32 wnd = get16(p);
        IUINT32 ts = get32(p);
        IUINT32 sn = get32(p);
        IUINT32 una = get32(p);
        IUINT32 len = get32(p);
        data = p;
        size -= IKCP_OVERHEAD;

        if (static_cast<IINT32>(len) < 0 || static_cast<unsigned long>(size) < len) {
            diagnose(kcp, "Invalid data len %d, data size %lu", static_cast<IINT32>(len),
                     static_cast<unsigned long>(size));
            return -2;
        }
        if (!is_data(cmd) && cmd != IKCP_CMD_ACK && cmd != IKCP_CMD_WASK && cmd != IKCP_CMD_WINS)
            return -3;

        kcp->rmt_wnd = wnd;
        acknowledge_below(kcp, una);
        refresh_una(kcp);

        if (cmd == IKCP_CMD_ACK) {
            if (diff(kcp->current, ts) >= 0)
                sample_rtt(kcp, diff(kcp->current, ts));
            acknowledge_one(kcp, sn);
            refresh_una(kcp);
            if (!acked) {
                acked = true;
                maxack = sn;
            } else if (before(maxack, sn)) {
                maxack = sn;
            }
        } else if (is_data(cmd)) {
            if (before(sn, kcp->rcv_nxt + kcp->rcv_wnd)) {
                kcp->acklist.emplace_back(sn, ts);
                if (!before(sn, kcp->rcv_nxt)) {
                    IKCPSEG seg;
                    seg.conv = conv;
                    seg.cmd = cmd;
                    seg.frg = frg;
                    seg.wnd = wnd;
                    seg.ts = ts;
                    seg.sn = sn;
                    seg.una = una;
                    seg.data.assign(data, len);
                    accept_data(kcp, std::move(seg));
                }
            }
        } else if (cmd == IKCP_CMD_WASK) {
            kcp->probe |= IKCP_ASK_TELL;
        }
        // IKCP_CMD_WINS only carries the window, taken above.

        data += len;
        size -= static_cast<long>(len);
    }

    if (acked)
        count_skips(kcp, maxack);

    // Congestion window growth: slow start below ssthresh, then additive.
    if (before(prev_una, kcp->snd_una) && kcp->cwnd < kcp->rmt_wnd) {
        IUINT32 mss = kcp->mss;
        if (kcp->cwnd < kcp->ssthresh) {
            kcp->cwnd++;
            kcp->incr += mss;
        } else {
            if (kcp->incr < mss)
                kcp->incr = mss;
            kcp->incr += (mss * mss) / kcp->incr + (mss / 16);
            if ((kcp->cwnd + 1) * mss <= kcp->incr)
                kcp->cwnd++;
        }
        if (kcp->cwnd > kcp->rmt_wnd) {
            kcp->cwnd = kcp->rmt_wnd;
            kcp->incr = kcp->rmt_wnd * mss;
        }
    }
    return 0;
}

void ikcp_flush(ikcpcb* kcp) {
    if (!kcp->updated)
        return;
    IUINT32 current = kcp->current;
    char* const base = kcp->buffer.data();
    char* p = base;

    auto emit = [&]() {
        if (p > base && kcp->output)
            kcp->output(base, static_cast<int>(p - base), kcp, kcp->user);
        p = base;
    };
    auto make_room = [&](IUINT32 need) {
        if (static_cast<IUINT32>(p - base) + need > kcp->mtu)
            emit();
    };

    IKCPSEG control;
    control.conv = kcp->conv;
    control.cmd = IKCP_CMD_ACK;
    control.wnd = unused_window(kcp);
    control.una = kcp->rcv_nxt;

    // Acknowledgements first.
    for (const auto& ack : kcp->acklist) {
        make_room(IKCP_OVERHEAD);
        control.sn = ack.first;
        control.ts = ack.second;
        p = encode_header(p, control, 0);
    }
    kcp->acklist.clear();

    // A peer with a closed window is asked for its window, with a growing
    // pause between asks.
    if (kcp->rmt_wnd == 0) {
        if (kcp->probe_wait == 0) {
            kcp->probe_wait = IKCP_PROBE_INIT;
            kcp->ts_probe = current + kcp->probe_wait;
        } else if (diff(current, kcp->ts_probe) >= 0) {
            if (kcp->probe_wait < IKCP_PROBE_INIT)
                kcp->probe_wait = IKCP_PROBE_INIT;
            kcp->probe_wait += kcp->probe_wait / 2;
            if (kcp->probe_wait > IKCP_PROBE_LIMIT)
                kcp->probe_wait = IKCP_PROBE_LIMIT;
            kcp->ts_probe = current + kcp->probe_wait;
            kcp->probe |= IKCP_ASK_SEND;
        }
    } else {
        kcp->ts_probe = 0;
        kcp->probe_wait = 0;
    }
    control.sn = 0;
    control.ts = 0;
    if (kcp->probe & IKCP_ASK_SEND) {
        control.cmd = IKCP_CMD_WASK;
        make_room(IKCP_OVERHEAD);
        p = encode_header(p, control, 0);
    }
    if (kcp->probe & IKCP_ASK_TELL) {
        control.cmd = IKCP_CMD_WINS;
        make_room(IKCP_OVERHEAD);
        p = encode_header(p, control, 0);
    }
    kcp->probe = 0;

    IUINT32 cwnd = std::min(kcp->snd_wnd, kcp->rmt_wnd);
    if (!kcp->nocwnd)
        cwnd = std::min(kcp->cwnd, cwnd);

    // New segments enter the send buffer as far as the window allows; each
    // keeps the command it was queued with (81 or 209).
    while (before(kcp->snd_nxt, kcp->snd_una + cwnd) && !kcp->snd_queue.empty()) {
        IKCPSEG seg = std::move(kcp->snd_queue.front());
        kcp->snd_queue.pop_front();
        kcp->nsnd_que--;
        seg.conv = kcp->conv;
        seg.wnd = control.wnd;
        seg.ts = current;
        seg.sn = kcp->snd_nxt++;
        seg.una = kcp->rcv_nxt;
        seg.resendts = current;
        seg.rto = static_cast<IUINT32>(kcp->rx_rto);
        seg.fastack = 0;
        seg.xmit = 0;
        kcp->snd_buf.push_back(std::move(seg));
        kcp->nsnd_buf++;
    }

    IUINT32 resent = kcp->fastresend > 0 ? static_cast<IUINT32>(kcp->fastresend) : 0xffffffffu;
    IUINT32 rtomin = kcp->nodelay == 0 ? static_cast<IUINT32>(kcp->rx_rto >> 3) : 0;
    bool lost = false;
    bool fastResent = false;

    for (IKCPSEG& seg : kcp->snd_buf) {
        bool send = false;
        if (seg.xmit == 0) {
            send = true;
            seg.xmit++;
            seg.rto = static_cast<IUINT32>(kcp->rx_rto);
            seg.resendts = current + seg.rto + rtomin;
        } else if (diff(current, seg.resendts) >= 0) {
            send = true;
            seg.xmit++;
            kcp->xmit++;
            if (kcp->nodelay == 0)
                seg.rto += static_cast<IUINT32>(kcp->rx_rto);
            else
                seg.rto += static_cast<IUINT32>(kcp->rx_rto) / 2;
            seg.resendts = current + seg.rto;
            lost = true;
        } else if (seg.fastack >= resent) {
            send = true;
            seg.xmit++;
            seg.fastack = 0;
            seg.resendts = current + seg.rto;
            fastResent = true;
        }
        if (!send)
            continue;
        seg.ts = current;
        seg.wnd = control.wnd;
        seg.una = kcp->rcv_nxt;
        make_room(IKCP_OVERHEAD + seg.len());
        p = encode_header(p, seg, seg.len());
        if (seg.len() > 0) {
            std::memcpy(p, seg.data.data(), seg.len());
            p += seg.len();
        }
        if (seg.xmit >= kcp->dead_link) {
            kcp->state = static_cast<IUINT32>(-1);
            std::snprintf(kcp->diag, sizeof kcp->diag, "seg xmit %d larger than dead_link %d",
                          static_cast<int>(seg.xmit), static_cast<int>(kcp->dead_link));
        }
    }
    emit();

    if (fastResent) {
        IUINT32 inflight = kcp->snd_nxt - kcp->snd_una;
        kcp->ssthresh = std::max<IUINT32>(inflight / 2, IKCP_THRESH_MIN);
        kcp->cwnd = kcp->ssthresh + resent;
        kcp->incr = kcp->cwnd * kcp->mss;
    }
    if (lost) {
        kcp->ssthresh = std::max<IUINT32>(cwnd / 2, IKCP_THRESH_MIN);
        kcp->cwnd = 1;
        kcp->incr = kcp->mss;
    }
    if (kcp->cwnd < 1) {
        kcp->cwnd = 1;
        kcp->incr = kcp->mss;
    }
}

void ikcp_update(ikcpcb* kcp, IUINT32 current) {
    kcp->current = current;
    if (!kcp->updated) {
        kcp->updated = 1;
        kcp->ts_flush = current;
    }
    IINT32 slap = diff(current, kcp->ts_flush);
    if (slap >= 10000 || slap < -10000) {
        kcp->ts_flush = current;
        slap = 0;
    }
    if (slap >= 0) {
        kcp->ts_flush += kcp->interval;
        if (diff(current, kcp->ts_flush) >= 0)
            kcp->ts_flush = current + kcp->interval;
        ikcp_flush(kcp);
    }
}

IUINT32 ikcp_check(const ikcpcb* kcp, IUINT32 current) {
    if (!kcp->updated)
        return current;
    IUINT32 ts_flush = kcp->ts_flush;
    IINT32 slap = diff(current, ts_flush);
    if (slap >= 10000 || slap < -10000)
        ts_flush = current;
    if (diff(current, ts_flush) >= 0)
        return current;
    IINT32 untilFlush = diff(ts_flush, current);
    IINT32 untilResend = 0x7fffffff;
    for (const IKCPSEG& seg : kcp->snd_buf) {
        IINT32 d = diff(seg.resendts, current);
        if (d <= 0)
            return current;
        untilResend = std::min(untilResend, d);
    }
    IINT32 wait = std::min(untilResend, untilFlush);
    wait = std::min<IINT32>(wait, static_cast<IINT32>(kcp->interval));
    return current + static_cast<IUINT32>(wait);
}

int ikcp_setmtu(ikcpcb* kcp, int mtu) {
    if (mtu < 50 || mtu < static_cast<int>(IKCP_OVERHEAD))
        return -1;
    try {
        kcp->buffer.assign((static_cast<size_t>(mtu) + IKCP_OVERHEAD) * 3, 0);
    } catch (const std::bad_alloc&) {
        return -2;
    }
    kcp->mtu = static_cast<IUINT32>(mtu);
    kcp->mss = kcp->mtu - IKCP_OVERHEAD;
    return 0;
}

int ikcp_interval(ikcpcb* kcp, int interval) {
    kcp->interval = static_cast<IUINT32>(std::min(std::max(interval, 10), 5000));
    return 0;
}

int ikcp_nodelay(ikcpcb* kcp, int nodelay, int interval, int resend, int nc) {
    if (nodelay >= 0) {
        kcp->nodelay = static_cast<IUINT32>(nodelay);
        kcp->rx_minrto = nodelay ? IKCP_RTO_NDL : IKCP_RTO_MIN;
    }
    if (interval >= 0)
        ikcp_interval(kcp, interval);
    if (resend >= 0)
        kcp->fastresend = resend;
    if (nc >= 0)
        kcp->nocwnd = nc;
    return 0;
}

int ikcp_wndsize(ikcpcb* kcp, int sndwnd, int rcvwnd) {
    if (sndwnd > 0)
        kcp->snd_wnd = static_cast<IUINT32>(sndwnd);
    if (rcvwnd > 0)
        kcp->rcv_wnd = std::max<IUINT32>(static_cast<IUINT32>(rcvwnd), IKCP_WND_RCV);
    return 0;
}

int ikcp_waitsnd(const ikcpcb* kcp) {
    return static_cast<int>(kcp->nsnd_buf + kcp->nsnd_que);
}

IUINT32 ikcp_getconv(const void* ptr) {
    const char* p = static_cast<const char*>(ptr);
    return get32(p);
}
