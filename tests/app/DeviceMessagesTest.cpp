#include "app/DeviceMessages.h"
#include "hub/OrunAppFace.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <vector>

namespace {

// Every module present, card inserted, no card to query, normal temperature.
constexpr uint32_t kHealthyModules = (1u << 1) | (1u << 2) | (1u << 3) | (1u << 4) | (1u << 9);
constexpr uint32_t kCardPresent = 1u << 11;

Orun_Camera_CurrStatus healthy() {
    Orun_Camera_CurrStatus s;
    s.iTemperature = 40;
    s.uModuleFlags = kHealthyModules;
    s.byRunState = 0;
    return s;
}

class DeviceMessages : public ::testing::Test {
protected:
    void SetUp() override {
        hub = OrunAppFace::instance();
        hub->clearFaults();
        hub->bCameraReached = true;
        hub->iOperation = -1;
        hub->iOperating = 0;
        hub->iWho = 0;
    }
    void TearDown() override {
        hub->clearFaults();
        hub->bCameraReached = false;
    }

    int stateOf(int id) const {
        for (const FaultEntry& e : hub->faults()) {
            if (e.id == id)
                return e.state;
        }
        return -1; // not listed
    }
    std::vector<int> ids() const {
        std::vector<int> out;
        for (const FaultEntry& e : hub->faults())
            out.push_back(e.id);
        return out;
    }

    OrunAppFace* hub = nullptr;
};

struct StatusCase {
    int id;
    const char* text;
    void (*breakIt)(Orun_Camera_CurrStatus&);
};

TEST_F(DeviceMessages, StatusReportRaisesAndClearsEachFault) {
    const StatusCase cases[] = {
        {0, "整机初始化失败", [](Orun_Camera_CurrStatus& s) { s.byRunState = 2; }},
        {1, "云台通信失败", [](Orun_Camera_CurrStatus& s) { s.uModuleFlags &= ~(1u << 1); }},
        {2, "AI通信失败", [](Orun_Camera_CurrStatus& s) { s.uModuleFlags &= ~(1u << 2); }},
        {3, "电池通信失败", [](Orun_Camera_CurrStatus& s) { s.uModuleFlags &= ~(1u << 3); }},
        {4, "镜头通信失败", [](Orun_Camera_CurrStatus& s) { s.uModuleFlags &= ~(1u << 4); }},
        {5, "Sensor错误", [](Orun_Camera_CurrStatus& s) { s.uModuleFlags |= 1u << 18; }},
        {6, "媒体错误", [](Orun_Camera_CurrStatus& s) { s.uModuleFlags |= 1u << 19; }},
        {7, "设备过温,将自动关机", [](Orun_Camera_CurrStatus& s) { s.iTemperature = 85; }},
        {18, "未插入SD卡", [](Orun_Camera_CurrStatus& s) { s.uModuleFlags &= ~(1u << 9); }},
    };

    applyStatusReport(healthy());
    ASSERT_TRUE(hub->faults().isEmpty());

    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.id);
        hub->clearFaults();
        Orun_Camera_CurrStatus s = healthy();
        c.breakIt(s);
        applyStatusReport(s);
        const QList<FaultEntry> list = hub->faults();
        ASSERT_EQ(list.size(), 1);
        EXPECT_EQ(list[0].id, c.id);
        EXPECT_EQ(list[0].level, 0);
        EXPECT_EQ(list[0].state, 0);
        EXPECT_EQ(list[0].text, QString::fromUtf8(c.text));

        applyStatusReport(healthy());
        EXPECT_EQ(stateOf(c.id), 2);
    }
}

TEST_F(DeviceMessages, RunStateOtherThanTwoIsNotAFault) {
    for (uint8_t run : {0, 1, 3, 255}) {
        Orun_Camera_CurrStatus s = healthy();
        s.byRunState = run;
        applyStatusReport(s);
        EXPECT_FALSE(hub->hasFault(0)) << int(run);
    }
}

TEST_F(DeviceMessages, TemperatureThreshold) {
    Orun_Camera_CurrStatus s = healthy();
    s.iTemperature = 84;
    applyStatusReport(s);
    EXPECT_FALSE(hub->hasFault(7));
    s.iTemperature = 85;
    applyStatusReport(s);
    EXPECT_EQ(stateOf(7), 0);
    s.iTemperature = 84;
    applyStatusReport(s);
    EXPECT_EQ(stateOf(7), 2);

    // A negative temperature is cold, not a huge unsigned value.
    hub->clearFaults();
    s.iTemperature = -20;
    applyStatusReport(s);
    EXPECT_FALSE(hub->hasFault(7));
}

TEST_F(DeviceMessages, BatteryThreshold) {
    QSignalSpy spy(hub, &OrunAppFace::signal_showErrInfo);
    applyBatteryReport(1);
    EXPECT_FALSE(hub->hasFault(8));
    applyBatteryReport(0);
    ASSERT_EQ(hub->faults().size(), 1);
    EXPECT_EQ(hub->faults()[0].text, QString::fromUtf8("电池容量不足,将自动关机"));
    EXPECT_EQ(hub->faults()[0].level, 0);
    applyBatteryReport(1);
    EXPECT_EQ(stateOf(8), 2);
    EXPECT_EQ(spy.count(), 3);
}

TEST_F(DeviceMessages, CardPresentRequestsCardQueryInTheSameCall) {
    hub->iWho = 2;
    Orun_Camera_CurrStatus s = healthy();
    s.uModuleFlags = (kHealthyModules & ~(1u << 9)) | kCardPresent;
    applyStatusReport(s);
    EXPECT_TRUE(hub->hasFault(18));
    EXPECT_EQ(hub->iOperation.load(), 18);
    EXPECT_EQ(hub->iOperating.load(), 1);
    EXPECT_EQ(hub->iWho.load(), 2); // requester untouched

    // A pending request of the user is not overwritten; the card message
    // evaluation still happens.
    hub->clearFaults();
    hub->iOperation = 8;
    hub->iOperating = 1;
    applyStatusReport(s);
    EXPECT_EQ(hub->iOperation.load(), 8);
    EXPECT_TRUE(hub->hasFault(18));
}

TEST_F(DeviceMessages, NoCardQueryClearsEveryCardMessage) {
    applySdCardState(3, 0); // 9
    applySdCardState(2, 4); // 13
    ASSERT_TRUE(hub->hasFault(9));
    ASSERT_TRUE(hub->hasFault(13));

    applyStatusReport(healthy()); // bit 11 clear
    EXPECT_EQ(stateOf(9), 2);
    EXPECT_EQ(stateOf(13), 2);
    EXPECT_EQ(hub->iOperating.load(), 0);
    EXPECT_EQ(hub->iOperation.load(), -1);
}

TEST_F(DeviceMessages, CardStatesRaiseOneAndClearTheirSiblings) {
    struct Case {
        int state, id;
        const char* text;
    };
    const Case cases[] = {{3, 9, "SD卡格式化中"},
                          {1, 16, "SD卡初始化中"},
                          {7, 19, "SD卡写保护"},
                          {8, 20, "SD卡内存已满"}};
    const int group[] = {9, 16, 19, 20};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        hub->clearFaults();
        for (const Case& other : cases)
            applySdCardState(other.state, 0);
        for (int id : group)
            ASSERT_TRUE(hub->hasFault(id));
        // Fresh entries are needed to see the raise, so drop the one under test.
        hub->dropFault(c.id);
        applySdCardState(c.state, 0);
        EXPECT_EQ(stateOf(c.id), 0);
        for (int id : group) {
            if (id != c.id) {
                EXPECT_EQ(stateOf(id), 2) << id;
            }
        }
        for (const FaultEntry& e : hub->faults()) {
            if (e.id == c.id) {
                EXPECT_EQ(e.text, QString::fromUtf8(c.text));
            }
        }
    }
}

TEST_F(DeviceMessages, CardErrorsRaiseOneAndClearTheOtherFive) {
    const char* texts[] = {"SD卡错误,请格式化",         "SD卡文件系统错误,请格式化",
                           "SD卡类型不支持,请更换",     "存储系统加载失败,请重新插入SD卡",
                           "SD卡读写错误,请重启ZORBEX", "SD卡文件系统不支持,请格式化"};
    for (int error = 1; error <= 6; ++error) {
        SCOPED_TRACE(error);
        hub->clearFaults();
        for (int other = 1; other <= 6; ++other) {
            if (other != error)
                applySdCardState(0, other);
        }
        applySdCardState(2, error);
        const int id = 9 + error;
        EXPECT_EQ(stateOf(id), 0);
        for (int other = 10; other <= 15; ++other) {
            if (other != id) {
                EXPECT_EQ(stateOf(other), 2) << other;
            }
        }
        for (const FaultEntry& e : hub->faults()) {
            if (e.id == id) {
                EXPECT_EQ(e.text, QString::fromUtf8(texts[error - 1]));
            }
        }
    }
}

TEST_F(DeviceMessages, CardStateWithoutErrorChangesNothing) {
    applySdCardState(3, 0);
    applySdCardState(2, 1);
    const std::vector<int> before = ids();
    QSignalSpy spy(hub, &OrunAppFace::signal_showErrInfo);
    applySdCardState(2, 0);
    applySdCardState(0, 7);
    applySdCardState(2, -1);
    EXPECT_EQ(ids(), before);
    EXPECT_EQ(stateOf(9), 0);
    EXPECT_EQ(stateOf(10), 0);
    // The banner is still told to look again.
    EXPECT_EQ(spy.count(), 3);
}

TEST_F(DeviceMessages, RepeatedFaultIsListedOnce) {
    Orun_Camera_CurrStatus s = healthy();
    s.uModuleFlags &= ~(1u << 1);
    applyStatusReport(s);
    applyStatusReport(s);
    applyBatteryReport(0);
    applyBatteryReport(0);
    applySdCardState(7, 0);
    applySdCardState(7, 0);
    EXPECT_EQ(ids(), (std::vector<int>{1, 8, 19}));

    // A fault that comes back before its cleared banner was taken away is
    // raised again, still listed once.
    applyStatusReport(healthy());
    EXPECT_EQ(stateOf(1), 2);
    applyStatusReport(s);
    EXPECT_EQ(stateOf(1), 0);
    EXPECT_EQ(ids(), (std::vector<int>{1, 8, 19}));
}

TEST_F(DeviceMessages, ReportsBeforeTheCameraIsReachedAreIgnored) {
    hub->bCameraReached = false;
    QSignalSpy spy(hub, &OrunAppFace::signal_showErrInfo);
    Orun_Camera_CurrStatus s;
    s.byRunState = 2;
    s.iTemperature = 99;
    s.uModuleFlags = kCardPresent;
    applyStatusReport(s);
    applyBatteryReport(0);
    EXPECT_TRUE(hub->faults().isEmpty());
    EXPECT_EQ(hub->iOperating.load(), 0);
    EXPECT_EQ(hub->iOperation.load(), -1);
    EXPECT_EQ(spy.count(), 0);

    hub->bCameraReached = true;
    applyStatusReport(s);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(ids(), (std::vector<int>{0, 7, 1, 2, 3, 4, 18}));
}

} // namespace
