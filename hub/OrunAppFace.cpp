#include "hub/OrunAppFace.h"

void registerQueuedTypes() {
    qRegisterMetaType<cv::Mat>("cv::Mat");
    qRegisterMetaType<Orun_Camera_CurrStatus>("Orun_Camera_CurrStatus");
    qRegisterMetaType<PlanePicture>("PlanePicture");
}

OrunAppFace* OrunAppFace::instance() {
    // Never deleted: worker threads may still touch the hub while the process ends.
    static OrunAppFace* hub = new OrunAppFace();
    return hub;
}

OrunAppFace::OrunAppFace()
    : QObject(nullptr), rcNormal(QRect(QPoint(300, 200), QPoint(1665, 967))) {
    wifiRequest.set(WifiBlock{});
    wifiWorkStatus.set(StationInfoBlock{});
    gimbalState.set(GimbalStateRecord{});
    sdkInfo2F.set(SdkRecord44{});
}

namespace {
FaultEntry resetEntry() {
    FaultEntry e;
    e.id = 0;
    e.level = 2;
    e.state = 0;
    return e;
}
} // namespace

void OrunAppFace::raiseFault(const FaultEntry& entry) {
    lstFault.update([&](QList<FaultEntry>& list) {
        for (FaultEntry& e : list) {
            if (e.id != entry.id)
                continue;
            // A fault that comes back before its cleared banner was taken away
            // is raised again (its banner is reused); otherwise the banner pass
            // would remove it while the fault persists.
            if (e.state == 2)
                e.state = 0;
            return;
        }
        FaultEntry copy = entry;
        copy.state = 0;
        list.append(copy);
    });
}

void OrunAppFace::updateFault(const FaultEntry& entry) {
    lstFault.update([&](QList<FaultEntry>& list) {
        for (FaultEntry& e : list) {
            if (e.id == entry.id) {
                e.level = entry.level;
                e.text = entry.text;
                e.state = entry.state != 0 ? 1 : 0;
                e.banner = entry.banner;
                return;
            }
        }
    });
}

void OrunAppFace::markFaultCleared(int id) {
    lstFault.update([&](QList<FaultEntry>& list) {
        for (FaultEntry& e : list) {
            if (e.id == id) {
                e.state = 2;
                return;
            }
        }
    });
}

void OrunAppFace::dropFault(int id) {
    lstFault.update([&](QList<FaultEntry>& list) {
        for (int i = 0; i < list.size(); ++i) {
            if (list[i].id == id) {
                list[i] = resetEntry();
                list.removeAt(i);
                return;
            }
        }
    });
}

void OrunAppFace::clearFaults() {
    lstFault.update([](QList<FaultEntry>& list) {
        for (FaultEntry& e : list)
            e = resetEntry();
        list.clear();
    });
}

QList<FaultEntry> OrunAppFace::faults() const {
    return lstFault.get();
}

bool OrunAppFace::hasFault(int id) const {
    return lstFault.read([id](const QList<FaultEntry>& list) {
        for (const FaultEntry& e : list) {
            if (e.id == id)
                return true;
        }
        return false;
    });
}

QList<CameraRecord> OrunAppFace::cameraRecords() const {
    return lstCameraRecord.get();
}

void OrunAppFace::appendCameraRecord(const CameraRecord& record) {
    lstCameraRecord.update([&](QList<CameraRecord>& list) { list.append(record); });
}

void OrunAppFace::clearCameraRecords() {
    lstCameraRecord.update([](QList<CameraRecord>& list) { list.clear(); });
}

void OrunAppFace::dropCameraRecord(const CameraRecord& record) {
    lstCameraRecord.update([&](QList<CameraRecord>& list) {
        for (int i = 0; i < list.size(); ++i) {
            if (list[i].texts[1] == record.texts[1]) {
                list.removeAt(i);
                return;
            }
        }
    });
}

void OrunAppFace::dropOnlineCamera(const QString& text) {
    lstOnlineCamera.update([&](QStringList& list) { list.removeOne(text); });
}

void OrunAppFace::requestStationQuery(const QString& text) {
    // Every search cycle asks again, so a query skipped while the slot is busy
    // is only postponed; overwriting the pending request would lose the user's.
    if (iOperating.load(std::memory_order_acquire) != 0)
        return;
    sStationAddress.set(text);
    postOperation(19);
}

void OrunAppFace::postOperation(int code) {
    iOperation.store(code, std::memory_order_relaxed);
    iOperating.store(1, std::memory_order_release);
    wakeOperationWaiters();
}

uint64_t OrunAppFace::operationPosts() const {
    std::lock_guard<std::mutex> lock(m_postMutex);
    return m_posts;
}

void OrunAppFace::wakeOperationWaiters() {
    {
        std::lock_guard<std::mutex> lock(m_postMutex);
        ++m_posts;
    }
    m_posted.notify_all();
}

void OrunAppFace::waitForOperation(uint64_t seen) const {
    std::unique_lock<std::mutex> lock(m_postMutex);
    m_posted.wait(lock, [&] { return m_posts != seen; });
}
