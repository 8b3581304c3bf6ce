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
//   address of each kind, so that switching kinds keeps them).
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
    // for SRT and UDP, an "rtmp://" or "rtmps://" URL for RTMP.
    static bool addressValid(LiveSettings::Kind kind, const QString& address);

    // A recording into the file `path` (absolute): its folder, name and
    // extension. "*.mkv" is Matroska, any other name fragmented MP4; a name
    // without an extension gets ".mp4".
    static RecorderSettings recorderInto(const QString& path);
    // The live output to `url`: "srt://HOST:PORT" (a listener on this PC),
    // "udp://HOST:PORT" (MPEG-TS sent there), "rtmp://..." or "rtmps://..."
    // (pushed to a server). False with what is wrong in `why` (a sentence in
    // English, for the command line).
    static bool liveFromUrl(const QString& url, LiveSettings* live, QString* why);

    bool operator==(const CaptureSettings& other) const;
    bool operator!=(const CaptureSettings& other) const { return !(*this == other); }
};
