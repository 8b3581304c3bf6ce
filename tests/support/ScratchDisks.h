#pragma once

// The scratch file systems a test registered with OWN_MOUNTS runs with
// (tests/support/own-mounts.sh): a folder that cannot be written, and a disk
// that fills up. Each test program run has fresh ones of its own.

#include <QByteArray>
#include <QFile>
#include <QStorageInfo>
#include <QString>

#include <algorithm>

namespace scratchdisks {

// A folder on a read-only file system; empty where the test runs without it.
inline QString readOnlyFolder() {
    return qEnvironmentVariable("ORUN_TEST_READONLY");
}

// A folder on a file system of 2 MB; empty where the test runs without it.
inline QString smallDiskFolder() {
    return qEnvironmentVariable("ORUN_TEST_SMALL_DISK");
}

// Fills the file system of `folder` with a file until `leaveBytes` are free.
inline bool fillUpTo(const QString& folder, qint64 leaveBytes) {
    QFile filler(folder + "/filler");
    if (!filler.open(QIODevice::WriteOnly))
        return false;
    const QByteArray block(64 * 1024, 'x');
    for (;;) {
        const qint64 free = QStorageInfo(folder).bytesAvailable();
        if (free <= leaveBytes)
            return true;
        const qint64 n = std::min<qint64>(block.size(), free - leaveBytes);
        if (filler.write(block.constData(), n) != n || !filler.flush())
            return false;
    }
}

} // namespace scratchdisks

#define REQUIRE_SCRATCH_DISKS()                                                                    \
    if (scratchdisks::readOnlyFolder().isEmpty() || scratchdisks::smallDiskFolder().isEmpty())     \
    GTEST_SKIP() << "no mount namespace here for a read-only folder and a small disk"
