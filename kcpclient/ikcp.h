#pragma once

// The KCP automatic-repeat-request engine of the media link: one control
// block per conversation, no threads and no sockets. The caller feeds it
// received datagrams (ikcp_input), drives it with a millisecond clock
// (ikcp_update) and reads whole messages (ikcp_recv); datagrams to transmit
// leave through the output callback.
//
// Beyond the classic protocol a data segment may carry command 209 (push with
// bit 7 set) to mark the end of an application frame: ikcp_send takes an end
// flag and ikcp_recv / ikcp_peeksize report it.

#include "kcpclient/ikcp_segment.h"

#include <cstdint>
#include <utility>
#include <vector>

enum : IUINT32 {
    IKCP_CMD_PUSH = 81,
    IKCP_CMD_ACK = 82,
    IKCP_CMD_WASK = 83,
    IKCP_CMD_WINS = 84,
    IKCP_CMD_PUSH_END = 209,
};

enum : IUINT32 {
    IKCP_OVERHEAD = 24,
    IKCP_MTU_DEF = 1400,
    IKCP_WND_SND = 32,
    IKCP_WND_RCV = 128,
    IKCP_RTO_NDL = 30,
    IKCP_RTO_MIN = 100,
    IKCP_RTO_DEF = 200,
    IKCP_RTO_MAX = 60000,
    IKCP_INTERVAL = 100,
    IKCP_DEADLINK = 20,
    IKCP_THRESH_INIT = 2,
    IKCP_THRESH_MIN = 2,
    IKCP_PROBE_INIT = 7000,
    IKCP_PROBE_LIMIT = 120000,
    IKCP_ASK_SEND = 1,
    IKCP_ASK_TELL = 2,
    // frg is one byte on the wire: a message may have at most 256 fragments.
    IKCP_FRG_MAX = 256,
    // A segment already sent this many times is left to its time-out.
    IKCP_FASTACK_LIMIT = 5,
};

// What the receiving side has seen of the peer's data segments. Kept for
// statistics only; the protocol never reads it.
struct IkcpRecvStats {
    uint64_t segments = 0;   // data segments that arrived
    uint64_t duplicates = 0; // of those, segments already held or delivered
    uint64_t late = 0;       // arrived after a later one and filled its gap
    uint64_t missing = 0;    // sequence numbers skipped when a later one came first
    IUINT32 next = 0;        // one past the highest sequence number seen
};

struct IKCPCB;
using ikcpcb = IKCPCB;
using ikcp_output_fn = int (*)(const char* buf, int len, ikcpcb* kcp, void* user);

struct IKCPCB {
    IUINT32 conv, mtu, mss, state;
    IUINT32 snd_una, snd_nxt, rcv_nxt;
    IUINT32 ts_recent, ts_lastack, ssthresh;
    IINT32 rx_rttval, rx_srtt, rx_rto, rx_minrto;
    IUINT32 snd_wnd, rcv_wnd, rmt_wnd, cwnd, probe;
    IUINT32 current, interval, ts_flush, xmit;
    IUINT32 nrcv_buf, nsnd_buf;
    IUINT32 nrcv_que, nsnd_que;
    IUINT32 nodelay, updated;
    IUINT32 ts_probe, probe_wait;
    IUINT32 dead_link, incr;
    IkcpList snd_queue;
    IkcpList rcv_queue;
    IkcpList snd_buf;
    IkcpList rcv_buf;
    std::vector<std::pair<IUINT32, IUINT32>> acklist; // (sn, ts)
    void* user;
    std::vector<char> buffer; // (mtu + 24) * 3, reused by every flush
    int fastresend;
    int nocwnd, stream;
    int logmask;
    ikcp_output_fn output;
    void (*writelog)(const char* log, ikcpcb* kcp, void* user);
    // The last diagnostic of a refused input or read; kept for inspection
    // only, never printed.
    mutable char diag[1024];
    // Fast resends stop once a segment has been sent this often (0: no
    // limit).
    int fastlimit;
    // Set by the peer's first datagram: until then rmt_wnd is a guess.
    int rmt_heard;
    // Free segments kept for reuse, at most max(snd_wnd, rcv_wnd).
    IkcpPool pool;
    IkcpRecvStats rstat;
};

ikcpcb* ikcp_create(IUINT32 conv, void* user);
void ikcp_release(ikcpcb* kcp);
void ikcp_setoutput(ikcpcb* kcp, ikcp_output_fn output);

// Next whole message into buffer: its size, or −1 nothing to read, −2 bad
// queue, −3 buffer too small or len ≤ 0. *end is 1 when the message's last
// segment had command 209.
int ikcp_recv(ikcpcb* kcp, char* buffer, int len, int* end);
// Queues a message whole, or nothing of it; end marks its last fragment with
// command 209. 0, −1 for a negative length, −2 for more new segments than
// min(snd_wnd, rmt_wnd) (the send window and the room the peer last showed
// free; our own receive window until the peer has spoken) or 256, or when
// memory is exhausted.
int ikcp_send(ikcpcb* kcp, const char* buffer, int len, int end);
void ikcp_update(ikcpcb* kcp, IUINT32 current);
IUINT32 ikcp_check(const ikcpcb* kcp, IUINT32 current);
// 0, −1 short datagram or foreign conversation, −2 bad segment length, −3
// unknown command.
int ikcp_input(ikcpcb* kcp, const char* data, long size);
void ikcp_flush(ikcpcb* kcp);
// Size of the next message or −1; sets *end to 1 when it ends with 209.
int ikcp_peeksize(const ikcpcb* kcp, int* end);
int ikcp_setmtu(ikcpcb* kcp, int mtu);
int ikcp_wndsize(ikcpcb* kcp, int sndwnd, int rcvwnd);
int ikcp_waitsnd(const ikcpcb* kcp);
// True when the engine has nothing to send until a datagram arrives or a
// message is queued: no acknowledgement owed, nothing queued or waiting for
// its acknowledgement, no window to ask for or to tell.
bool ikcp_idle(const ikcpcb* kcp);
int ikcp_nodelay(ikcpcb* kcp, int nodelay, int interval, int resend, int nc);
int ikcp_interval(ikcpcb* kcp, int interval);
// Conversation id of a datagram (its first four bytes, little-endian).
IUINT32 ikcp_getconv(const void* ptr);
