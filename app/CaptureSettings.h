#pragma once

#include "video/capture/LiveOutput.h"
#include "video/capture/Recorder.h"
#include "video/capture/SnapshotTaker.h"

#include <QString>

// The user's choices for capture on the PC, kept in the configuration file
// under [Capture]:
//   recordFolder, recordFormat ("mp4" | "mkv"),
//   snapshotFolder, snapshotFormat ("png" | "jpg"), snapshotBoxes (bool),
//   liveKind ("srt" | "udp" | "rtmp"), liveSrt, liveUdp, liveRtmp (the
//   address of each kind, so that switching kinds keeps them; SRT's and UDP's
//   may carry the protocol's options, "HOST:PORT?latency=200000"), and
//   liveSrtPassphrase (empty for none), webcamAtStart (bool: the program
//   offered as a camera from its start), webcamDevice (empty: a PipeWire
//   camera; else the v4l2loopback device, by path or card label). The stream key inside liveRtmp and
//   the passphrase are secrets: kept in the file (which only its owner may
//   read), never logged or shown.
struct CaptureSettings {
    QString recordFolder;
    QString recordFormat = QStringLiteral("mp4");
    QString snapshotFolder;
    QString snapshotFormat = QStringLiteral("png");
    bool snapshotBoxes = false;
    LiveSettings::Kind liveKind = LiveSettings::Kind::SrtListener;
    QString liveSrt;
    QString liveUdp;
    QString liveRtmp;
    QString liveSrtPassphrase;
    bool webcamAtStart = false;
    QString webcamDevice;

    // The settings as saved, with the defaults for what is missing or unusable.
    static CaptureSettings load();
    void save() const;

    // The user's videos and pictures folders (QStandardPaths) with "orunapp".
    static QString defaultRecordFolder();
    static QString defaultSnapshotFolder();
    static QString defaultAddress(LiveSettings::Kind kind);

    // The address of the chosen live kind.
    QString liveAddress() const;
    void setLiveAddress(const QString& address);

    RecorderSettings recorder() const;
    SnapshotSettings snapshot() const;
    LiveSettings live() const;

    // Whether `address` suits `kind`: "HOST:PORT" with a port of 1 to 65535
    // and the options the protocol takes for SRT and UDP, an "rtmp://" or
    // "rtmps://" URL for RTMP. What is wrong goes to `why` (as for
    // liveFromUrl), when there is something to say.
    static bool addressValid(LiveSettings::Kind kind, const QString& address,
                             QString* why = nullptr);
    // The first option in the query of an srt:// or udp:// URL that its
    // protocol does not take; empty when there is none.
    static QString refusedOption(const QString& url);
    // Whether `passphrase` suits SRT: none, or 10 to 79 bytes.
    static bool passphraseValid(const QString& passphrase);
    // The URL of an address of `kind` ("srt://" and the address for SRT).
    static QString urlOf(LiveSettings::Kind kind, const QString& address);
    // A URL as given, to be named in a message: an RTMP URL without its
    // stream key, an SRT URL without its passphrase.
    static QString shownInput(const QString& url);

    // A recording into the file `path` (absolute): its folder, name and
    // extension. "*.mkv" is Matroska, any other name fragmented MP4; a name
    // without an extension gets ".mp4".
    static RecorderSettings recorderInto(const QString& path);
    // The live output to `url`: "srt://HOST:PORT" (a listener on this PC),
    // "udp://HOST:PORT" (MPEG-TS sent there), each with the options of
    // libavformat's protocol in its query ("srt://HOST:PORT?passphrase=..."),
    // "rtmp://..." or "rtmps://..." (pushed to a server). False with what is
    // wrong in `why` (a sentence in English, for the command line, naming an
    // option the protocol does not take, and never a stream key or a
    // passphrase).
    static bool liveFromUrl(const QString& url, LiveSettings* live, QString* why);

    bool operator==(const CaptureSettings& other) const;
    bool operator!=(const CaptureSettings& other) const { return !(*this == other); }
};
