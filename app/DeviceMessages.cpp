#include "app/DeviceMessages.h"

#include "hub/OrunAppFace.h"

#include <QCoreApplication>

#include <initializer_list>

namespace {

// Message texts by id; id 17 (card asleep) is only ever cleared, so it has none.
const char* messageText(int id) {
    switch (id) {
    case 0:
        return QT_TRANSLATE_NOOP("DeviceMessages", "整机初始化失败");
    case 1:
        return QT_TRANSLATE_NOOP("DeviceMessages", "云台通信失败");
    case 2:
        return QT_TRANSLATE_NOOP("DeviceMessages", "AI通信失败");
    case 3:
        return QT_TRANSLATE_NOOP("DeviceMessages", "电池通信失败");
    case 4:
        return QT_TRANSLATE_NOOP("DeviceMessages", "镜头通信失败");
    case 5:
        return QT_TRANSLATE_NOOP("DeviceMessages", "Sensor错误");
    case 6:
        return QT_TRANSLATE_NOOP("DeviceMessages", "媒体错误");
    case 7:
        return QT_TRANSLATE_NOOP("DeviceMessages", "设备过温,将自动关机");
    case 8:
        return QT_TRANSLATE_NOOP("DeviceMessages", "电池容量不足,将自动关机");
    case 9:
        return QT_TRANSLATE_NOOP("DeviceMessages", "SD卡格式化中");
    case 10:
        return QT_TRANSLATE_NOOP("DeviceMessages", "SD卡错误,请格式化");
    case 11:
        return QT_TRANSLATE_NOOP("DeviceMessages", "SD卡文件系统错误,请格式化");
    case 12:
        return QT_TRANSLATE_NOOP("DeviceMessages", "SD卡类型不支持,请更换");
    case 13:
        return QT_TRANSLATE_NOOP("DeviceMessages", "存储系统加载失败,请重新插入SD卡");
    case 14:
        return QT_TRANSLATE_NOOP("DeviceMessages", "SD卡读写错误,请重启ZORBEX");
    case 15:
        return QT_TRANSLATE_NOOP("DeviceMessages", "SD卡文件系统不支持,请格式化");
    case 16:
        return QT_TRANSLATE_NOOP("DeviceMessages", "SD卡初始化中");
    case 18:
        return QT_TRANSLATE_NOOP("DeviceMessages", "未插入SD卡");
    case 19:
        return QT_TRANSLATE_NOOP("DeviceMessages", "SD卡写保护");
    case 20:
        return QT_TRANSLATE_NOOP("DeviceMessages", "SD卡内存已满");
    default:
        return nullptr;
    }
}

void raise(OrunAppFace* hub, int id) {
    const char* text = messageText(id);
    if (!text)
        return;
    FaultEntry entry;
    entry.id = id;
    entry.level = 0; // every device message is shown red
    entry.state = 0;
    entry.text = QCoreApplication::translate("DeviceMessages", text);
    hub->raiseFault(entry);
}

void clear(OrunAppFace* hub, std::initializer_list<int> ids) {
    for (int id : ids)
        hub->markFaultCleared(id);
}

void raiseOrClear(OrunAppFace* hub, int id, bool raised) {
    if (raised)
        raise(hub, id);
    else
        hub->markFaultCleared(id);
}

bool bit(uint32_t word, int n) {
    return ((word >> n) & 1u) != 0;
}

} // namespace

void applyStatusReport(const Orun_Camera_CurrStatus& status) {
    OrunAppFace* hub = OrunAppFace::instance();
    if (!hub->bCameraReached.load())
        return;

    raiseOrClear(hub, 0, status.byRunState == 2);
    raiseOrClear(hub, 7, status.iTemperature > 84);

    const uint32_t flags = status.uModuleFlags;
    raiseOrClear(hub, 1, !bit(flags, 1));
    raiseOrClear(hub, 2, !bit(flags, 2));
    raiseOrClear(hub, 3, !bit(flags, 3));
    raiseOrClear(hub, 4, !bit(flags, 4));
    raiseOrClear(hub, 5, bit(flags, 18));
    raiseOrClear(hub, 6, bit(flags, 19));
    raiseOrClear(hub, 18, !bit(flags, 9));

    if (bit(flags, 11)) {
        // A card is present: ask the runtime to read its state (operation 18),
        // with no requester, so nobody waits for its result. A request that
        // is already pending is left alone: overwriting it would lose the
        // user's action, and the next status report asks again.
        if (hub->iOperating.load() == 0)
            hub->postOperation(18);
    } else {
        clear(hub, {9, 10, 11, 12, 13, 14, 15, 16, 17, 19, 20});
    }

    emit hub->signal_showErrInfo();
}

void applyBatteryReport(int level) {
    OrunAppFace* hub = OrunAppFace::instance();
    if (!hub->bCameraReached.load())
        return;
    // The level arrives as a whole number, so "nearly empty" means 0.
    raiseOrClear(hub, 8, level <= 0);
    emit hub->signal_showErrInfo();
}

namespace {
void applyCardMessages(OrunAppFace* hub, int state, int error) {
    switch (state) {
    case 3:
        raise(hub, 9);
        clear(hub, {16, 19, 20});
        return;
    case 1:
        raise(hub, 16);
        clear(hub, {9, 19, 20});
        return;
    case 7:
        raise(hub, 19);
        clear(hub, {16, 9, 20});
        return;
    case 8:
        raise(hub, 20);
        clear(hub, {16, 9, 19});
        return;
    default:
        break;
    }
    // Card errors 1..6 map onto ids 10..15; only one of them is raised at a time.
    if (error < 1 || error > 6)
        return;
    const int raisedId = 9 + error;
    for (int id = 10; id <= 15; ++id) {
        if (id == raisedId)
            raise(hub, id);
        else
            hub->markFaultCleared(id);
    }
}
} // namespace

void applySdCardState(int state, int error) {
    OrunAppFace* hub = OrunAppFace::instance();
    applyCardMessages(hub, state, error);
    emit hub->signal_showErrInfo();
}
