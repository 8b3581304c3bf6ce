#include "kcpclient/ikcp.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>
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

// Header fields are little-endian at fixed offsets. memcpy keeps the loads
// and stores free of alignment demands; compilers turn them into plain moves.
#if defined(__BYTE_ORDER__) && defined(__ORDER_BIG_ENDIAN__) &&                                    \
    __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr bool kBigEndian = true;
#else
constexpr bool kBigEndian = false;
#endif

inline void store32(char* p, IUINT32 v) {
    if (kBigEndian)
        v = (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
    std::memcpy(p, &v, 4);
}

inline void store16(char* p, IUINT32 v) {
    auto w = static_cast<uint16_t>(v);
    if (kBigEndian)
        w = static_cast<uint16_t>((w >> 8) | (w << 8));
    std::memcpy(p, &w, 2);
}

inline IUINT32 load32(const char* p) {
    IUINT32 v;
    std::memcpy(&v, p, 4);
    if (kBigEndian)
        v = (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
    return v;
}

inline IUINT32 load16(const char* p) {
    uint16_t w;
    std::memcpy(&w, p, 2);
    if (kBigEndian)
        w = static_cast<uint16_t>((w >> 8) | (w << 8));
    return w;
}

inline IUINT32 load8(const char* p) {
    return static_cast<unsigned char>(*p);
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

// Writes the 24-byte header of seg at p.
inline void encode_header(char* p, const IKCPSEG& seg) {
    store32(p, seg.conv);
    p[4] = static_cast<char>(static_cast<unsigned char>(seg.cmd));
    p[5] = static_cast<char>(static_cast<unsigned char>(seg.frg));
    store16(p + 6, seg.wnd);
    store32(p + 8, seg.ts);
    store32(p + 12, seg.sn);
    store32(p + 16, seg.una);
    store32(p + 20, seg.len);
}

// A free segment for len payload bytes. Segments of up to mss bytes all get
// room for mss, so that any of them can be reused for any other.
IKCPSEG* new_segment(ikcpcb* kcp, IUINT32 len) {
    return kcp->pool.take(std::max(len, kcp->mss));
}

void release_segment(ikcpcb* kcp, IKCPSEG* seg) {
    kcp->pool.give(seg, std::max(kcp->snd_wnd, kcp->rcv_wnd), kcp->mss);
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

// Where the previous selective acknowledgement of a datagram left off in the
// send buffer: the segment after the one it removed. Acknowledgements come
// mostly in rising order, so the next search starts there.
struct AckCursor {
    IKCPNODE* node = nullptr;
};

// A selective acknowledgement removes exactly that segment. The send buffer
// is ordered by sn; the search starts at the cursor when it lies at or
// before sn, else at the nearer end.
void acknowledge_one(ikcpcb* kcp, IUINT32 sn, AckCursor& cursor) {
    IkcpList& buf = kcp->snd_buf;
    if (buf.empty() || before(sn, buf.front().sn) || before(buf.back().sn, sn))
        return;
    IKCPSEG* found = nullptr;
    auto it = buf.begin();
    bool forward = sn - buf.front().sn <= buf.back().sn - sn;
    if (cursor.node && cursor.node != buf.end().node() &&
        !before(sn, static_cast<IKCPSEG*>(cursor.node)->sn)) {
        it = IkcpList::iterator(cursor.node);
        forward = true;
    }
    if (forward) {
        for (; it != buf.end(); ++it) {
            if (it->sn == sn)
                found = &*it;
            if (!before(it->sn, sn))
                break;
        }
    } else {
        for (it = buf.end(); it != buf.begin();) {
            --it;
            if (it->sn == sn)
                found = &*it;
            if (!before(sn, it->sn))
                break;
        }
    }
    if (found) {
        cursor.node = found->next;
        release_segment(kcp, buf.unlink(found));
        kcp->nsnd_buf--;
    }
}

// The peer's una acknowledges everything below it.
void acknowledge_below(ikcpcb* kcp, IUINT32 una, AckCursor& cursor) {
    while (!kcp->snd_buf.empty() && before(kcp->snd_buf.front().sn, una)) {
        IKCPSEG* seg = kcp->snd_buf.pop_front();
        if (cursor.node == seg)
            cursor.node = nullptr;
        release_segment(kcp, seg);
        kcp->nsnd_buf--;
    }
}

// Every outstanding segment below the datagram's skip mark (see
// ikcp_input) was skipped by the peer once more, but only if the marking
// segment went out no earlier than the outstanding one's latest transmission
// (ts, which the acknowledgement echoes; one flush sends in sn order): an
// acknowledgement of an earlier transmission says nothing about a resend
// still on its way.
void count_skips(ikcpcb* kcp, IUINT32 maxack, IUINT32 maxackTs) {
    if (before(maxack, kcp->snd_una) || !before(maxack, kcp->snd_nxt))
        return;
    for (IKCPSEG& seg : kcp->snd_buf) {
        if (!before(seg.sn, maxack))
            break;
        if (diff(maxackTs, seg.ts) >= 0)
            seg.fastack++;
    }
}

// Moves the in-order head of the receive buffer into the receive queue.
void drain_rcv_buf(ikcpcb* kcp) {
    while (!kcp->rcv_buf.empty()) {
        IKCPSEG& seg = kcp->rcv_buf.front();
        if (seg.sn != kcp->rcv_nxt || kcp->nrcv_que >= kcp->rcv_wnd)
            break;
        kcp->rcv_queue.push_back(kcp->rcv_buf.unlink(&seg));
        kcp->nrcv_buf--;
        kcp->nrcv_que++;
        kcp->rcv_nxt++;
    }
}

// Files a received data segment (header fields in h, len payload bytes at
// payload) by sequence number; a duplicate is dropped (`held` set). The caller
// has checked that sn lies in the receive window. False only when memory is
// exhausted.
bool accept_data(ikcpcb* kcp, const IKCPSEG& h, const char* payload, bool& held) {
    IUINT32 sn = h.sn;
    IkcpList& buf = kcp->rcv_buf;
    auto it = buf.end();
    if (!buf.empty() && before(sn, buf.back().sn) &&
        diff(sn, buf.front().sn) < diff(buf.back().sn, sn)) {
        // Nearer the front, where resent segments fill the gaps.
        for (it = buf.begin(); it != buf.end() && before(it->sn, sn); ++it) {
        }
        if (it != buf.end() && it->sn == sn) {
            held = true;
            return true;
        }
    } else {
        while (it != buf.begin()) {
            auto prev = it;
            --prev;
            if (prev->sn == sn) {
                held = true;
                return true;
            }
            if (before(prev->sn, sn))
                break;
            it = prev;
        }
    }
    IKCPSEG* seg = new_segment(kcp, h.len);
    if (!seg)
        return false;
    seg->conv = h.conv;
    seg->cmd = h.cmd;
    seg->frg = h.frg;
    seg->wnd = h.wnd;
    seg->ts = h.ts;
    seg->sn = sn;
    seg->una = h.una;
    seg->len = h.len;
    if (h.len > 0)
        std::memcpy(seg->data(), payload, h.len);
    kcp->rcv_buf.insert(it, seg);
    kcp->nrcv_buf++;
    drain_rcv_buf(kcp);
    return true;
}

// Counts a data segment that was filed (or found held already) by where its
// sequence number lies against the highest one seen before it.
void note_arrival(ikcpcb* kcp, IUINT32 sn, bool held) {
    IkcpRecvStats& r = kcp->rstat;
    if (held) {
        r.duplicates++;
    } else if (!before(sn, r.next)) {
        r.missing += static_cast<IUINT32>(sn - r.next);
        r.next = sn + 1;
    } else {
        r.late++;
    }
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
        kcp->acklist.reserve(8);
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
    kcp->fastlimit = IKCP_FASTACK_LIMIT;
    kcp->rmt_heard = 0;
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
        return static_cast<int>(first.len);
    }
    if (kcp->nrcv_que < first.frg + 1)
        return -1; // the rest of the message is still on its way
    long size = 0;
    for (const IKCPSEG& seg : kcp->rcv_queue) {
        size += seg.len;
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
        IKCPSEG* seg = kcp->rcv_queue.pop_front();
        IUINT32 fragment = seg->frg;
        if (seg->len > 0)
            std::memcpy(buffer + copied, seg->data(), seg->len);
        copied += static_cast<int>(seg->len);
        kcp->nrcv_que--;
        release_segment(kcp, seg);
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

    // Stream mode tops up the last queued segment first: only the bytes
    // beyond its room need segments of their own.
    const bool appending = kcp->stream && !kcp->snd_queue.empty();
    IKCPSEG* topUp = nullptr;
    IUINT32 topUpBytes = 0;
    if (appending) {
        IKCPSEG& last = kcp->snd_queue.back();
        IUINT32 room = std::min(mss, last.capacity);
        if (last.len < room) {
            topUp = &last;
            topUpBytes = std::min<IUINT32>(room - last.len, static_cast<IUINT32>(len));
        }
    }
    IUINT32 rest = static_cast<IUINT32>(len) - topUpBytes;
    IUINT32 count = 0;
    if (!appending || rest > 0)
        count = rest <= mss ? 1 : (rest + mss - 1) / mss;

    // A message is taken whole or refused whole, before anything is queued.
    // Its new segments must fit the link's window as it stands: our send
    // window, and the room the peer showed free in its receive queue with its
    // last datagram. That room is at most the peer's receive window, so a
    // message that fits it can be joined there even when the peer has made
    // its window smaller; a larger one could wait there for ever. The
    // segments queued or in flight ahead of this message are not counted:
    // they belong to whole messages that the peer's reader takes out as they
    // complete, and how much may wait here is the caller's to bound
    // (ikcp_waitsnd). frg, one byte on the wire, numbers at most 256
    // fragments. A closed window refuses every message until the peer
    // reopens it. Until the peer's first datagram shows its room, our own
    // receive window stands in for it: the two ends of a link are set up
    // alike, and a first key frame must not wait for the peer to speak.
    IUINT32 peer = kcp->rmt_heard ? kcp->rmt_wnd : kcp->rcv_wnd;
    IUINT32 window = std::min(kcp->snd_wnd, peer);
    if (count > window || count > IKCP_FRG_MAX)
        return -2;

    // The fragments are made first and queued together, the top-up last, so
    // that running out of memory leaves the queue as it was.
    const char* topUpSource = buffer;
    const char* source = buffer ? buffer + topUpBytes : nullptr;
    IkcpList fragments;
    for (IUINT32 i = 0; i < count; i++) {
        IUINT32 size = std::min(rest, mss);
        IKCPSEG* seg = new_segment(kcp, size);
        if (!seg) {
            while (!fragments.empty())
                release_segment(kcp, fragments.pop_front());
            return -2;
        }
        if (source && size > 0) {
            std::memcpy(seg->data(), source, size);
            source += size;
        }
        seg->len = source ? size : 0;
        seg->frg = kcp->stream ? 0 : count - i - 1;
        bool lastFragment = kcp->stream || seg->frg == 0;
        seg->cmd = lastFragment ? dataCmd : IKCP_CMD_PUSH;
        fragments.push_back(seg);
        rest -= size;
    }
    if (topUp) {
        // The last queued segment carries this call's first bytes; it ends
        // with this call's data when no new segment follows it and takes
        // this call's command either way.
        if (topUpSource && topUpBytes > 0) {
            std::memcpy(topUp->data() + topUp->len, topUpSource, topUpBytes);
            topUp->len += topUpBytes;
        }
        topUp->cmd = dataCmd;
        topUp->frg = 0;
    }
    kcp->snd_queue.splice_back(fragments);
    kcp->nsnd_que += count;
    return 0;
}

int ikcp_input(ikcpcb* kcp, const char* data, long size) {
    if (!data || size < static_cast<long>(IKCP_OVERHEAD))
        return -1;

    IUINT32 prev_una = kcp->snd_una;
    bool acked = false;
    IUINT32 maxack = 0;
    IUINT32 maxackTs = 0;
    AckCursor cursor;

    while (size > 0) {
        if (size < static_cast<long>(IKCP_OVERHEAD)) {
            diagnose(kcp, "Invalid data size %lu", static_cast<unsigned long>(size));
            break;
        }
        IKCPSEG h;
        h.conv = load32(data);
        if (h.conv != kcp->conv)
            return -1;
        h.cmd = load8(data + 4);
        h.frg = load8(data + 5);
        h.wnd = load16(data + 6);
        h.ts = load32(data + 8);
        h.sn = load32(data + 12);
        h.una = load32(data + 16);
        h.len = load32(data + 20);
        data += IKCP_OVERHEAD;
        size -= IKCP_OVERHEAD;

        if (static_cast<IINT32>(h.len) < 0 || static_cast<unsigned long>(size) < h.len) {
            diagnose(kcp, "Invalid data len %d, data size %lu", static_cast<IINT32>(h.len),
                     static_cast<unsigned long>(size));
            return -2;
        }
        IUINT32 cmd = h.cmd;
        if (!is_data(cmd) && cmd != IKCP_CMD_ACK && cmd != IKCP_CMD_WASK && cmd != IKCP_CMD_WINS)
            return -3;

        kcp->rmt_wnd = h.wnd;
        kcp->rmt_heard = 1;
        acknowledge_below(kcp, h.una, cursor);
        refresh_una(kcp);

        if (cmd == IKCP_CMD_ACK) {
            if (diff(kcp->current, h.ts) >= 0)
                sample_rtt(kcp, diff(kcp->current, h.ts));
            acknowledge_one(kcp, h.sn, cursor);
            refresh_una(kcp);
            // The datagram's skip mark is its first acknowledgement and moves
            // on only to one later in sequence and from a later flush (a
            // newer ts). Segments of one flush share their ts and leave
            // together; the peer acknowledges them in the order they came
            // in, so one of them held back on the way is overtaken by the
            // rest of its flush without being lost. Those are not counted;
            // a gap below the first of them to arrive still is.
            if (!acked || (before(maxack, h.sn) && diff(h.ts, maxackTs) > 0)) {
                acked = true;
                maxack = h.sn;
                maxackTs = h.ts;
            }
        } else if (is_data(cmd)) {
            kcp->rstat.segments++;
            if (before(h.sn, kcp->rcv_nxt + kcp->rcv_wnd)) {
                // Without memory for it the segment is not acknowledged
                // either: the peer sends it again.
                if (before(h.sn, kcp->rcv_nxt)) {
                    kcp->rstat.duplicates++;
                    kcp->acklist.emplace_back(h.sn, h.ts);
                } else {
                    bool held = false;
                    if (accept_data(kcp, h, data, held)) {
                        note_arrival(kcp, h.sn, held);
                        kcp->acklist.emplace_back(h.sn, h.ts);
                    }
                }
            }
        } else if (cmd == IKCP_CMD_WASK) {
            kcp->probe |= IKCP_ASK_TELL;
        }
        // IKCP_CMD_WINS only carries the window, taken above.

        data += h.len;
        size -= static_cast<long>(h.len);
    }

    if (acked)
        count_skips(kcp, maxack, maxackTs);

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

    // Acknowledgements first: one header, only sn and ts differ.
    if (!kcp->acklist.empty()) {
        char header[IKCP_OVERHEAD];
        encode_header(header, control);
        for (const auto& ack : kcp->acklist) {
            make_room(IKCP_OVERHEAD);
            std::memcpy(p, header, IKCP_OVERHEAD);
            store32(p + 8, ack.second);
            store32(p + 12, ack.first);
            p += IKCP_OVERHEAD;
        }
        kcp->acklist.clear();
    }

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
        encode_header(p, control);
        p += IKCP_OVERHEAD;
    }
    if (kcp->probe & IKCP_ASK_TELL) {
        control.cmd = IKCP_CMD_WINS;
        make_room(IKCP_OVERHEAD);
        encode_header(p, control);
        p += IKCP_OVERHEAD;
    }
    kcp->probe = 0;

    IUINT32 cwnd = std::min(kcp->snd_wnd, kcp->rmt_wnd);
    if (!kcp->nocwnd)
        cwnd = std::min(kcp->cwnd, cwnd);

    // New segments enter the send buffer as far as the window allows; each
    // keeps the command it was queued with (81 or 209).
    while (before(kcp->snd_nxt, kcp->snd_una + cwnd) && !kcp->snd_queue.empty()) {
        IKCPSEG* seg = kcp->snd_queue.pop_front();
        kcp->nsnd_que--;
        seg->conv = kcp->conv;
        seg->wnd = control.wnd;
        seg->ts = current;
        seg->sn = kcp->snd_nxt++;
        seg->una = kcp->rcv_nxt;
        seg->resendts = current;
        seg->rto = static_cast<IUINT32>(kcp->rx_rto);
        seg->fastack = 0;
        seg->xmit = 0;
        kcp->snd_buf.push_back(seg);
        kcp->nsnd_buf++;
    }

    IUINT32 resent = kcp->fastresend > 0 ? static_cast<IUINT32>(kcp->fastresend) : 0xffffffffu;
    IUINT32 rtomin = kcp->nodelay == 0 ? static_cast<IUINT32>(kcp->rx_rto >> 3) : 0;
    // A segment sent fastlimit times already is left to its time-out.
    IUINT32 fastlimit = kcp->fastlimit > 0 ? static_cast<IUINT32>(kcp->fastlimit) : 0xffffffffu;
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
        } else if (seg.fastack >= resent && seg.xmit <= fastlimit) {
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
        make_room(IKCP_OVERHEAD + seg.len);
        encode_header(p, seg);
        p += IKCP_OVERHEAD;
        if (seg.len > 0) {
            std::memcpy(p, seg.data(), seg.len);
            p += seg.len;
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
    // A segment queued under a larger mtu still goes out whole, in a
    // datagram of its own: the buffer must hold it.
    size_t largest = static_cast<size_t>(mtu);
    for (const IkcpList* list : {&kcp->snd_queue, &kcp->snd_buf})
        for (const IKCPSEG& seg : *list)
            largest = std::max<size_t>(largest, seg.len + IKCP_OVERHEAD);
    try {
        kcp->buffer.assign((largest + IKCP_OVERHEAD) * 3, 0);
    } catch (const std::bad_alloc&) {
        return -2;
    }
    kcp->mtu = static_cast<IUINT32>(mtu);
    kcp->mss = kcp->mtu - IKCP_OVERHEAD;
    // Pooled segments have room for the old mss.
    kcp->pool.clear();
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

bool ikcp_idle(const ikcpcb* kcp) {
    // A closed remote window is asked for again on a timer of its own.
    return kcp->acklist.empty() && kcp->nsnd_que == 0 && kcp->nsnd_buf == 0 && kcp->probe == 0 &&
           kcp->rmt_wnd != 0;
}

IUINT32 ikcp_getconv(const void* ptr) {
    return load32(static_cast<const char*>(ptr));
}
