#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What a capture writer tells its owner. Reported on the writer's own thread;
// the owner passes it on to wherever it is shown.
struct CaptureEvent {
    // The reason of a SnapshotFailed that no picture came for.
    static constexpr const char* kNoPicture = "no picture";

    // Where a file misses pictures: the writer fell behind (a disk too slow)
    // and its queue let them go. In the file's time, from its start.
    struct Gap {
        int64_t atUs = 0;
        int64_t durationUs = 0;
        uint64_t pictures = 0;
    };

    enum class Kind {
        FileOpened,     // `path` was created and its header written
        FileClosed,     // `path` is complete: `frames` pictures, `durationUs` long, `gaps`
        FileFailed,     // `path` (or the folder) could not be created or written: `reason`
        OutputWaiting,  // `path` (the output's URL) waits for its consumer
        OutputOpened,   // `path` is being fed
        OutputClosed,   // the consumer of `path` went away: `reason`
        OutputFailed,   // `path` did not open: `reason`; tried again later
        SnapshotSaved,  // a picture went to `path`
        SnapshotFailed, // a picture could not be written to `path`: `reason`
        Finished,       // the writer ended (stopped, or after a failure)
    };
    Kind kind = Kind::Finished;
    std::string path;
    std::string reason;
    // The system's error number behind `reason` when there is one (ENOSPC,
    // EACCES, ...), else 0.
    int errorNumber = 0;
    uint64_t frames = 0;
    int64_t durationUs = 0;
    std::vector<Gap> gaps;

    // The length of the gaps together.
    int64_t missingUs() const {
        int64_t sum = 0;
        for (const Gap& g : gaps)
            sum += g.durationUs;
        return sum;
    }
};

using CaptureReport = std::function<void(const CaptureEvent&)>;
