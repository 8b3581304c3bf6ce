#include "video/capture/CaptureFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace capturefiles {

std::string timeStem(const std::string& prefix, bool milliseconds) {
    const QDateTime now = QDateTime::currentDateTime();
    const QString text = now.toString(milliseconds ? QStringLiteral("yyyy-MM-dd_HH-mm-ss-zzz")
                                                   : QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    return prefix + "_" + text.toStdString();
}

namespace {

bool fail(std::string* error, int* errorNumber, const std::string& text, int number) {
    if (error)
        *error = text;
    if (errorNumber)
        *errorNumber = number;
    return false;
}

std::string systemText(int number) {
    return number != 0 ? std::string(std::strerror(number)) : std::string("unknown error");
}

} // namespace

bool createUniqueFile(const std::string& folder, const std::string& stem, const std::string& ext,
                      std::string* path, std::string* error, int* errorNumber) {
    const QString dir = QString::fromStdString(folder);
    if (dir.isEmpty())
        return fail(error, errorNumber, "no folder chosen", EINVAL);
    const QFileInfo info(dir);
    if (info.exists() && !info.isDir())
        return fail(error, errorNumber, "not a folder", ENOTDIR);
    errno = 0;
    if (!info.exists() && !QDir().mkpath(dir)) {
        const int number = errno != 0 ? errno : EACCES;
        return fail(error, errorNumber, "cannot create the folder: " + systemText(number), number);
    }
    const QString base = QDir(dir).filePath(QString::fromStdString(stem));
    const QString suffix = QStringLiteral(".") + QString::fromStdString(ext);
    // A thousand files of the same name in the same second would be a loop.
    for (int n = 1; n <= 1000; ++n) {
        const QString candidate =
            n == 1 ? base + suffix : base + QStringLiteral("_%1").arg(n) + suffix;
        QFile file(candidate);
        errno = 0;
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            file.close();
            if (path)
                *path = candidate.toStdString();
            return true;
        }
        const int number = errno;
        if (QFileInfo::exists(candidate))
            continue;
        return fail(error, errorNumber, file.errorString().toStdString(),
                    number != 0 ? number : EACCES);
    }
    return fail(error, errorNumber, "too many files of the same name", EEXIST);
}

bool checkFolder(const std::string& folder, std::string* error, int* errorNumber) {
    std::string probe;
    if (!createUniqueFile(folder, timeStem(".orunapp-check", true), "tmp", &probe, error,
                          errorNumber))
        return false;
    QFile::remove(QString::fromStdString(probe));
    return true;
}

} // namespace capturefiles
