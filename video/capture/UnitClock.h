#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

// Turns the times of the camera's units into a timeline: microseconds, zero
// at the first unit of the timeline, strictly increasing.
//
// The camera's time trailer is in the camera's own unit, which the stream does
// not name. The clock learns it: over the first half second of units it
// compares the trailer's steps with the steps of the arrival time and takes
// the common unit (nanoseconds, 100 ns, microseconds, 90 kHz, milliseconds)
// the ratio lies near. When a unit carries no trailer, or the ratio fits none
// of them, or the trailer does not advance, the arrival times are used
// instead. Learning also gives the usual step between pictures: of the
// camera's time, the median step (or the mean one when shorter); of arrival,
// the median slope between arrival times at least half of them apart (a
// picture that comes late, or a stall and the burst after it, moves a median
// or the mean of so few steps, and a least-squares line, far more).
//
// Afterwards a unit's time is the camera's: its distance from where the
// camera's time last joined the timeline, so that no rounding adds up. A
// trailer that goes back or leaps more than two seconds away from the
// arrival step (a camera that restarted its clock) does not break the
// timeline: the arrival step stands in and the camera's time joins again.
class UnitClock {
public:
    enum class Source { Learning, Camera, Arrival };

    // Learns from one unit; true once the source is decided.
    bool learn(int64_t cameraTime, int64_t arrivalUs);
    Source source() const { return m_source; }
    bool decided() const { return m_source != Source::Learning; }
    // Decides now with what was seen (arrival times unless the camera's unit
    // is known): a stream that ended while learning.
    void decideNow();
    // Ticks of the camera's time per second (0 unless the source is Camera).
    int64_t cameraTicksPerSecond() const { return m_ticksPerSecond; }
    // The camera stamps its pictures' own times: the steps it learned from
    // lie within a millisecond of each other (a time stamped when sent
    // jitters with the sender).
    bool cameraRegular() const { return m_cameraRegular; }
    // The usual step between pictures in microseconds (33333 when unknown).
    int64_t typicalStepUs() const { return m_typicalStepUs; }

    // Starts a new timeline: the next unit stamped gets zero.
    void restart();
    // The unit's time in microseconds since the first unit of the timeline.
    // Before the source is decided, arrival steps are used.
    int64_t stamp(int64_t cameraTime, int64_t arrivalUs);

    // How long learning looks at the units, how many it wants at least, and
    // how many it looks at most (a stalled arrival clock).
    static constexpr int64_t kLearnSpanUs = 500000;
    static constexpr int kLearnUnits = 4;
    static constexpr int kLearnUnitsMax = 300;

private:
    Source m_source = Source::Learning;
    int64_t m_ticksPerSecond = 0;
    int64_t m_typicalStepUs = 33333;
    bool m_cameraRegular = false;
    // Learning.
    int m_learnCount = 0;
    bool m_missingTrailer = false;
    int64_t m_firstCamera = 0;
    int64_t m_firstArrival = 0;
    int64_t m_prevCamera = 0;
    int64_t m_prevArrival = 0;
    std::vector<int64_t> m_cameraSteps;
    std::vector<int64_t> m_arrivals;
    // Timeline.
    bool m_started = false;
    int64_t m_lastCamera = 0;
    int64_t m_lastArrival = 0;
    int64_t m_lastUs = 0;
    // Where the camera's time last joined the timeline (0: not joined).
    int64_t m_joinCamera = 0;
    int64_t m_joinUs = 0;
};

// Turns a timeline of arrival times into the presentation times of a file: a
// constant step (exactly a common frame rate's when the usual step lies that
// near, else a little shorter than the usual step), in 90 kHz ticks from
// zero. A file of constant steps plays smoothly and every player and tool
// reads its rate; the sender's and the network's jitter stay out of it.
//
// The times still follow the timeline: a picture more than a step later than
// its place (a picture missing, or a rate a little slower than the step)
// moves on by whole steps, leaving a gap; pictures that run more than
// kLeadLimit steps early for their place (a rate faster than the step) make
// the step shorter from there on, as measured over the last kMeasureCount
// pictures the way the clock learns a step, and never by more than
// kMostShortening at a time. A stall and the burst of what it held back is no
// rate: it leaves the times that many steps ahead, at the same step; a step
// taken from it would crowd the file's times into the same millisecond.
class FramePacer {
public:
    static constexpr int64_t kTicksPerSecond = 90000;
    // How much shorter than a measured step (of no common rate) the step is.
    static constexpr double kShortening = 0.005;
    // How many steps ahead of the timeline the times may run.
    static constexpr double kLeadLimit = 15.0;
    static constexpr size_t kMeasureCount = 64;
    static constexpr double kMostShortening = 0.2;

    // Starts a file whose pictures come every `stepUs` microseconds.
    void start(int64_t stepUs);
    // The picture at `timelineUs` (strictly increasing): its time in ticks.
    int64_t pace(int64_t timelineUs);
    int64_t stepTicks() const { return m_step; }

    // How near a measured step must lie to a common rate's: a whole rate (30,
    // not 29.97) within kNearRate, else any common rate within kCloseRate.
    static constexpr double kCloseRate = 0.003;
    static constexpr double kNearRate = 0.04;

    // The step in ticks for a step in microseconds: the common frame rate's
    // own step when the step lies near one.
    static int64_t stepFor(int64_t stepUs);

private:
    int64_t m_step = 3000;
    bool m_first = true;
    // The anchor of the current step: a slot, its timeline time and its ticks.
    int64_t m_anchorSlot = 0;
    int64_t m_anchorUs = 0;
    int64_t m_anchorTicks = 0;
    int64_t m_lastSlot = 0;
    std::deque<int64_t> m_recent; // the timeline times of the last pictures
};
