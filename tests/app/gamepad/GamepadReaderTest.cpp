// The reader of game controllers against SDL's virtual pads: plugging in and
// out, the sticks and the command buttons of the pad in use, and a thread
// that sleeps while no controller is there.
#include "app/gamepad/GamepadReader.h"

#include "../../support/Eventually.h"
#include "../../support/ThreadWakeups.h"
#include "../../support/VirtualGamepad.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

// Everything the reader tells, in order.
class ReaderLog {
public:
    GamepadReader::Events events() {
        GamepadReader::Events e;
        e.connected = [this](const std::string& name) { add("connected " + name); };
        e.disconnected = [this](const std::string& name) { add("disconnected " + name); };
        e.moved = [this](const GamepadAxes& axes) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_axes.push_back(axes);
            m_lines.push_back("moved");
        };
        e.pressed = [this](GamepadButton button) {
            add("pressed " + std::to_string(static_cast<int>(button)));
        };
        e.unavailable = [this](const std::string& why) { add("unavailable " + why); };
        return e;
    }
    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    int count(const std::string& line) const {
        int n = 0;
        for (const std::string& l : lines())
            n += l == line ? 1 : 0;
        return n;
    }
    GamepadAxes lastAxes() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_axes.empty() ? GamepadAxes() : m_axes.back();
    }
    size_t moves() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_axes.size();
    }

private:
    void add(const std::string& line) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(line);
    }
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    std::vector<GamepadAxes> m_axes;
};

const std::string kPressedA = "pressed " + std::to_string(static_cast<int>(GamepadButton::A));

} // namespace

TEST(GamepadReader, APadIsOpenedAsItComesItsSticksAndButtonsCountAndItsGoingPutsThemAtRest) {
    ReaderLog log;
    GamepadReader reader(log.events());
    ASSERT_TRUE(reader.start());
    VirtualGamepad pad;
    ASSERT_TRUE(pad.plugged()) << pad.error();
    reader.rescan();
    ASSERT_TRUE(eventually([&] { return log.count("connected Virtual pad") == 1; }))
        << "lines: " << log.lines().size();
    EXPECT_EQ(reader.controllers(), std::vector<std::string>{"Virtual pad"});

    // A push to the right edge and up, then the right stick and a trigger.
    pad.setAxis(SDL_CONTROLLER_AXIS_LEFTX, 32767);
    pad.setAxis(SDL_CONTROLLER_AXIS_LEFTY, -20000);
    ASSERT_TRUE(eventually([&] {
        const GamepadAxes a = log.lastAxes();
        return a.leftX == 32767 && a.leftY == -20000;
    }));
    pad.setAxis(SDL_CONTROLLER_AXIS_RIGHTY, 30000);
    pad.setAxis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
    ASSERT_TRUE(eventually([&] {
        const GamepadAxes a = log.lastAxes();
        return a.rightY == 30000 && a.rightTrigger == 32767 && a.leftX == 32767;
    }));

    // A held button is one press; a button that gives no command gives nothing.
    pad.setButton(SDL_CONTROLLER_BUTTON_A, true);
    ASSERT_TRUE(eventually([&] { return log.count(kPressedA) == 1; }));
    pad.setButton(SDL_CONTROLLER_BUTTON_LEFTSHOULDER, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    pad.setButton(SDL_CONTROLLER_BUTTON_A, false);
    pad.setButton(SDL_CONTROLLER_BUTTON_B, true);
    const std::string pressedB = "pressed " + std::to_string(static_cast<int>(GamepadButton::B));
    ASSERT_TRUE(eventually([&] { return log.count(pressedB) == 1; }));
    EXPECT_EQ(log.count(kPressedA), 1);
    int presses = 0;
    for (const std::string& l : log.lines())
        presses += l.rfind("pressed ", 0) == 0 ? 1 : 0;
    EXPECT_EQ(presses, 2);

    // Pulled out while pushed: the sticks are at rest before it is gone.
    pad.unplug();
    ASSERT_TRUE(eventually([&] { return log.count("disconnected Virtual pad") == 1; }));
    EXPECT_EQ(log.lastAxes(), GamepadAxes());
    const std::vector<std::string> lines = log.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "moved");
    EXPECT_TRUE(reader.controllers().empty());
    reader.stop();
}

TEST(GamepadReader, TheSticksOfThePadUsedLastCountAndThatOneGoingHandsBackToTheOther) {
    ReaderLog log;
    GamepadReader reader(log.events());
    ASSERT_TRUE(reader.start());
    VirtualGamepad first("First pad");
    VirtualGamepad second("Second pad");
    ASSERT_TRUE(first.plugged() && second.plugged()) << first.error() << second.error();
    reader.rescan();
    ASSERT_TRUE(eventually([&] { return reader.controllers().size() == 2; }));

    first.setAxis(SDL_CONTROLLER_AXIS_LEFTX, -32768);
    ASSERT_TRUE(eventually([&] { return log.lastAxes().leftX == -32768; }));
    // The list is put in order of use just after the stick's event went out.
    EXPECT_TRUE(eventually([&] { return reader.controllers().front() == "First pad"; }));
    // The second one's stick past a small push takes over.
    second.setAxis(SDL_CONTROLLER_AXIS_LEFTY, 32767);
    ASSERT_TRUE(eventually([&] {
        const GamepadAxes a = log.lastAxes();
        return a.leftY == 32767 && a.leftX == 0;
    }));
    // Its going hands the drive back to the first, still pushed left.
    second.unplug();
    ASSERT_TRUE(eventually([&] { return log.count("disconnected Second pad") == 1; }));
    EXPECT_EQ(log.lastAxes().leftX, -32768);
    EXPECT_EQ(log.lastAxes().leftY, 0);
    EXPECT_EQ(reader.controllers(), std::vector<std::string>{"First pad"});
    reader.stop();
}

TEST(GamepadReader, WithoutAControllerTheThreadSleepsAndWithOneItReadsAtItsPace) {
    ReaderLog log;
    GamepadReader reader(log.events());
    ASSERT_TRUE(reader.start());
    // No controller: no reading at all (a poll would wake it every few ms).
    int threads = 0;
    uint64_t wakes =
        threadwakeups::wakeups_during("orun-gamepad", std::chrono::seconds(1), &threads);
    ASSERT_EQ(threads, 1);
    EXPECT_LT(wakes, 5u);
    EXPECT_TRUE(log.lines().empty());

    // With one: read every 10 ms, not more often.
    VirtualGamepad pad;
    ASSERT_TRUE(pad.plugged()) << pad.error();
    reader.rescan();
    ASSERT_TRUE(eventually([&] { return reader.controllers().size() == 1; }));
    wakes = threadwakeups::wakeups_during("orun-gamepad", std::chrono::seconds(1));
    EXPECT_GT(wakes, 20u);
    EXPECT_LT(wakes, 150u);

    // Gone again: asleep again.
    pad.unplug();
    ASSERT_TRUE(eventually([&] { return reader.controllers().empty(); }));
    wakes = threadwakeups::wakeups_during("orun-gamepad", std::chrono::seconds(1));
    EXPECT_LT(wakes, 5u);
    reader.stop();
}
