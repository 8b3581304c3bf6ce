#include "camera/CameraReplyParsers.h"

#include "camera/Camera.h"
#include "camera/ControlFrame.h"
#include "camera/ReplyDispatcher.h"
#include "hub/OrunAppFace.h"

#include <QDebug>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

constexpr int kStatusBlockSize = 88;
constexpr int kGimbalBlockSize = 28;
constexpr int kFileTextLimit = 255;

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t le32u(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

int32_t le32(const uint8_t* p) {
    return static_cast<int32_t>(le32u(p));
}

// A file name of a capture push: the payload up to its first zero byte, at
// most 255 bytes.
QString fileText(const uint8_t* data, int length) {
    const int limit = std::min(length, kFileTextLimit);
    int end = 0;
    while (end < limit && data[end] != 0)
        ++end;
    return QString::fromUtf8(reinterpret_cast<const char*>(data), end);
}

std::mutex& reportHooksMutex() {
    static std::mutex mutex;
    return mutex;
}

DeviceReportHooks& reportHooks() {
    static DeviceReportHooks hooks;
    return hooks;
}

DeviceReportHooks currentReportHooks() {
    std::lock_guard<std::mutex> lock(reportHooksMutex());
    return reportHooks();
}

void reportStatus(const Orun_Camera_CurrStatus& status) {
    const DeviceReportHooks hooks = currentReportHooks();
    if (hooks.statusReport)
        hooks.statusReport(status);
}

void reportBattery(int level) {
    const DeviceReportHooks hooks = currentReportHooks();
    if (hooks.batteryReport)
        hooks.batteryReport(level);
}

} // namespace

void setDeviceReportHooks(DeviceReportHooks hooks) {
    std::lock_guard<std::mutex> lock(reportHooksMutex());
    reportHooks() = std::move(hooks);
}

Orun_Camera_CurrStatus statusFromBlock(const uint8_t* b) {
    Orun_Camera_CurrStatus s;
    s.iTemperature = le32(b + 0);
    s.iReserved1 = 0;
    s.uModuleFlags = le32u(b + 4);
    s.iWord3 = le32(b + 8);
    s.iCaptureTimeMs = le32(b + 12);
    // Block byte 16 is not used.
    s.byWorkMode = b[17];
    s.bySubMode = b[18];
    s.byRunState = b[19];
    s.byReserved = 0;
    s.iShotCount = le32(b + 20);
    s.iBurstHalfSec = le32(b + 24);
    s.iWord8 = le32(b + 28);
    s.iReserved9 = 0;
    for (int k = 0; k < 14; ++k)
        s.iTail[k] = le32(b + 32 + 4 * k);
    return s;
}

GimbalStateRecord gimbalStateFromBlock(const uint8_t* b) {
    GimbalStateRecord r{};
    std::copy(b, b + 10, r.begin());           // record 0-9 from block 0-9
    std::copy(b + 10, b + 25, r.begin() + 12); // record 12-26 from block 10-24
    // Block byte 25 is not used; record bytes 10, 11 and 27 stay 0.
    r[28] = b[26];
    r[29] = b[27];
    return r;
}

// Friend of Camera: the parsers reach its reply slots and reply data.
class CameraReplyParsers {
public:
    using Slot = Camera::SlotIndex;

    // Stores the data of a successful reply, the result code and the arrived
    // flag under the slot mutex, then wakes every waiter of the slot.
    template <typename Store> static void complete(Slot index, int code, Store&& store) {
        std::shared_ptr<Camera> camera = Camera::instance();
        ReplySlot& slot = camera->replySlots[index];
        {
            std::lock_guard<std::mutex> lock(slot.mutex);
            if (code == 0)
                store(*camera);
            slot.result = code;
            slot.arrived = true;
        }
        slot.replied.notify_all();
    }

    static void ack(ReplyDispatcher& table, uint8_t set, uint16_t id, Slot index) {
        table.addReply(set, id, 0, [index](int code, const uint8_t*, int, const QString&) {
            complete(index, code, [](Camera&) {});
        });
    }

    template <typename Store>
    static void query(ReplyDispatcher& table, uint8_t set, uint16_t id, int need, Slot index,
                      Store store) {
        table.addReply(set, id, need,
                       [index, store](int code, const uint8_t* data, int, const QString&) {
                           complete(index, code, [&](Camera& c) { store(c, data); });
                       });
    }

    static void announcementReply(int code, const QString& sender) {
        OrunAppFace* hub = OrunAppFace::instance();
        if (hub->iWifiMode.load() == 0 && !sender.isEmpty()) {
            // Every search cycle announces the client again and the camera
            // answers each time: list each address once so that the list
            // does not grow for as long as the search runs.
            hub->lstOnlineCamera.update([&](QStringList& list) {
                if (!list.contains(sender))
                    list.append(sender);
            });
            hub->requestStationQuery(sender);
        }
        complete(Camera::SlotAnnounceClient, code, [](Camera&) {});
    }

    static void wifiModePush(const uint8_t* data, int length) {
        std::shared_ptr<Camera> camera = Camera::instance();
        camera->pushedWifiMode = data[0];
        camera->pushedWifiValue = le32(data + 1);
        qDebug().noquote() << QString::fromUtf8("主动推送设置WifiMode") << data[0] << le32(data + 1)
                           << length;
    }

    static void registerAll(ReplyDispatcher& t);
};

void CameraReplyParsers::registerAll(ReplyDispatcher& t) {
    // Universal
    t.addReply(SetUniversal, 0x020, 0, [](int code, const uint8_t*, int, const QString& sender) {
        announcementReply(code, sender);
    });

    // Camera replies with data
    query(t, SetCamera, 0x000, 2, Camera::SlotGetWorkMode,
          [](Camera& c, const uint8_t* d) { c.workMode = le16(d); });
    query(t, SetCamera, 0x010, 1, Camera::SlotGetPhotoRatio,
          [](Camera& c, const uint8_t* d) { c.photoRatio = d[0]; });
    query(t, SetCamera, 0x020, 1, Camera::SlotGetMultiShot,
          [](Camera& c, const uint8_t* d) { c.multiShot = d[0]; });
    query(t, SetCamera, 0x021, 1, Camera::SlotGetBurst,
          [](Camera& c, const uint8_t* d) { c.burst = d[0]; });
    query(t, SetCamera, 0x041, 1, Camera::SlotGetResolution,
          [](Camera& c, const uint8_t* d) { c.resolution = d[0]; });
    query(t, SetCamera, 0x0F1, 8, Camera::SlotSdCard, [](Camera& c, const uint8_t* d) {
        c.sdCard[0] = le32(d);
        c.sdCard[1] = le32(d + 4);
    });
    query(t, SetCamera, 0x0F3, 8, Camera::SlotQueryF3, [](Camera& c, const uint8_t* d) {
        c.valuesF3[0] = le32(d);
        c.valuesF3[1] = le32(d + 4);
    });
    query(t, SetCamera, 0x151, static_cast<int>(StationInfoBlock().size()),
          Camera::SlotGetStationInfo, [](Camera& c, const uint8_t* d) {
              std::copy(d, d + c.stationInfo.size(), c.stationInfo.begin());
          });
    // The Wi-Fi query yields the mode byte only; name and password are not
    // taken from the reply.
    query(t, SetCamera, 0x152, 1, Camera::SlotGetWifi, [](Camera& c, const uint8_t* d) {
        c.wifiBlock.fill(0);
        c.wifiBlock[0] = d[0];
    });
    query(t, SetCamera, 0x1C1, kStatusBlockSize, Camera::SlotCameraStatus,
          [](Camera& c, const uint8_t* d) { c.cameraStatus = statusFromBlock(d); });

    // Camera acknowledgements
    ack(t, SetCamera, 0x200, Camera::SlotSetWorkMode);
    ack(t, SetCamera, 0x210, Camera::SlotSetPhotoRatio);
    ack(t, SetCamera, 0x220, Camera::SlotSetMultiShot);
    ack(t, SetCamera, 0x221, Camera::SlotSetBurst);
    ack(t, SetCamera, 0x241, Camera::SlotSetResolution);
    ack(t, SetCamera, 0x278, Camera::SlotFocus);
    ack(t, SetCamera, 0x351, Camera::SlotSetStationInfo);
    ack(t, SetCamera, 0x352, Camera::SlotSetWifi);
    ack(t, SetCamera, 0x600, Camera::SlotCapture);
    ack(t, SetCamera, 0x601, Camera::SlotValue601);
    ack(t, SetCamera, 0x602, Camera::SlotValue602);

    // Camera pushes
    t.addPush(SetCamera, 0x003, 1, [](const uint8_t* data, int length) {
        OrunAppFace* hub = OrunAppFace::instance();
        const QString text = fileText(data, length);
        hub->iRecWorkMode = hub->iWorkMode.load();
        hub->lstRecPath.update([&](QStringList& list) { list.append(text); });
        hub->iRecCount.fetch_add(1);
        qDebug().noquote() << "------------Rec path:" + text;
        emit hub->signal_syncCameraStatusToUI(hub->currStatus.get(), true);
    });
    t.addPush(SetCamera, 0x004, 1, [](const uint8_t* data, int length) {
        OrunAppFace* hub = OrunAppFace::instance();
        const QString text = fileText(data, length);
        hub->iPhotoWorkMode = hub->iWorkMode.load();
        hub->lstPhotoPath.update([&](QStringList& list) { list.append(text); });
        hub->iPhotoCount.fetch_add(1);
    });
    t.addPush(SetCamera, 0x1E0, kStatusBlockSize, [](const uint8_t* data, int) {
        OrunAppFace* hub = OrunAppFace::instance();
        const Orun_Camera_CurrStatus status = statusFromBlock(data);
        hub->currStatus.set(status);
        emit hub->signal_syncCameraStatusToUI(status, false);
        reportStatus(status);
    });
    t.addPush(SetCamera, 0x752, 5, &CameraReplyParsers::wifiModePush);

    // SDK acknowledgements
    ack(t, SetSdk, 0x025, Camera::SlotGimbalSpeed);
    ack(t, SetSdk, 0x029, Camera::SlotGimbalSetting);
    ack(t, SetSdk, 0x044, Camera::SlotMirror);
    ack(t, SetSdk, 0x047, Camera::SlotZoom);
    ack(t, SetSdk, 0x051, Camera::SlotAiFunction);
    ack(t, SetSdk, 0x063, Camera::SlotSelectTarget);

    // SDK replies with data
    query(t, SetSdk, 0x02C, static_cast<int>(SdkRecord44().size()), Camera::SlotQuerySdk02C,
          [](Camera& c, const uint8_t* d) {
              std::copy(d, d + c.sdkRecord2C.size(), c.sdkRecord2C.begin());
          });
    query(t, SetSdk, 0x06C, kGimbalBlockSize, Camera::SlotQuerySdk06C,
          [](Camera& c, const uint8_t* d) { c.sdkRecord6C = gimbalStateFromBlock(d); });

    // SDK pushes
    t.addPush(SetSdk, 0x02F, static_cast<int>(SdkRecord44().size()), [](const uint8_t* data, int) {
        SdkRecord44 record{};
        std::copy(data, data + record.size(), record.begin());
        OrunAppFace* hub = OrunAppFace::instance();
        hub->sdkInfo2F.set(record);
        // Byte 30 is the picture orientation; the layout and the settings read it.
        hub->bPortrait = record[30] != 0;
    });
    t.addPush(SetSdk, 0x06A, kGimbalBlockSize, [](const uint8_t* data, int) {
        OrunAppFace* hub = OrunAppFace::instance();
        hub->gimbalState.set(gimbalStateFromBlock(data));
        emit hub->signal_syncGimbalLockButton();
    });
    t.addPush(SetSdk, 0x07A, 2, [](const uint8_t* data, int) {
        OrunAppFace* hub = OrunAppFace::instance();
        const int rate = le16(data);
        hub->iCurrentZoomRate = rate;
        emit hub->signal_showCurrentZoomRate(rate);
    });
    t.addPush(SetSdk, 0x0B1, 15, [](const uint8_t* data, int) {
        SdkInfoB1 info;
        info.value0 = le32u(data);
        info.value1 = le32u(data + 4);
        info.value2 = le32u(data + 8);
        info.value3 = le16(data + 12);
        info.value4 = data[14];
        OrunAppFace::instance()->sdkInfoB1.set(info);
    });

    // Battery report: (u16, int32, int32, level byte); the level decides.
    t.addPush(SetBattery, 0x040, 11, [](const uint8_t* data, int) { reportBattery(data[10]); });

    // Every Factory reply answers the link probe.
    t.addReplyForSet(SetFactory, 0, [](int code, const uint8_t*, int, const QString&) {
        complete(Camera::SlotProbeLink, code, [](Camera&) {});
    });
}

void registerCameraParsers(ReplyDispatcher& table) {
    CameraReplyParsers::registerAll(table);
}
