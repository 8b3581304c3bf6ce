// Replays the fuzz targets' seed corpus and every kept regression input
// through the fuzz entry points in the normal build, so that an input that
// once broke a decoder is run by every test run (under the sanitizers too in
// the sanitizer builds).
#include <QDir>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// The entry points of fuzz/*.cpp, renamed for this program.
extern "C" int fuzzControlFrame(const uint8_t* data, size_t size);
extern "C" int fuzzIkcp(const uint8_t* data, size_t size);
extern "C" int fuzzKcpCmd(const uint8_t* data, size_t size);
extern "C" int fuzzMediaFrame(const uint8_t* data, size_t size);
extern "C" int fuzzH264Inspect(const uint8_t* data, size_t size);
extern "C" int fuzzTargetBoxes(const uint8_t* data, size_t size);
extern "C" int fuzzVisca(const uint8_t* data, size_t size);

namespace {

using Entry = int (*)(const uint8_t*, size_t);

// Runs every file of fuzz/corpus/<target> and fuzz/regressions/<target>;
// returns how many ran.
int replay(const QString& target, Entry entry) {
    int count = 0;
    for (const char* kind : {"corpus", "regressions"}) {
        QDir dir(QStringLiteral(ORUN_FUZZ_DIR "/") + kind + "/" + target);
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        for (const QString& name : files) {
            QFile f(dir.filePath(name));
            EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
            const QByteArray bytes = f.readAll();
            SCOPED_TRACE(f.fileName().toStdString());
            EXPECT_EQ(entry(reinterpret_cast<const uint8_t*>(bytes.constData()),
                            static_cast<size_t>(bytes.size())),
                      0);
            ++count;
        }
    }
    return count;
}

} // namespace

TEST(FuzzReplay, ControlFrames) {
    EXPECT_GE(replay("control_frame", &fuzzControlFrame), 10);
}

TEST(FuzzReplay, KcpEngineInput) {
    EXPECT_GE(replay("ikcp", &fuzzIkcp), 3);
}

TEST(FuzzReplay, MediaCommandReplies) {
    EXPECT_GE(replay("kcp_cmd", &fuzzKcpCmd), 1);
}

TEST(FuzzReplay, MediaFrames) {
    EXPECT_GE(replay("media_frame", &fuzzMediaFrame), 1);
}

TEST(FuzzReplay, H264AccessUnits) {
    EXPECT_GE(replay("h264_inspect", &fuzzH264Inspect), 2);
}

TEST(FuzzReplay, TargetBoxes) {
    EXPECT_GE(replay("target_boxes", &fuzzTargetBoxes), 2);
}

TEST(FuzzReplay, ViscaRequests) {
    EXPECT_GE(replay("visca", &fuzzVisca), 3);
}
