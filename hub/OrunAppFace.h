#pragma once

#include "hub/CameraStatus.h"
#include "hub/PlanePicture.h"
#include "hub/SharedValue.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRect>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <opencv2/core.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

Q_DECLARE_METATYPE(cv::Mat)

// One fault message of the banner list: the id is its key.
struct FaultEntry {
    int id = 0;
    int level = 2; // 0 red, 1 yellow, 2 white
    int state = 0; // 0 raised, not yet shown; 1 shown; 2 cleared
    QString text;
    QPointer<QObject> banner; // the banner widget showing this entry, if any
};

// A camera found on the station network: address, name, and two spare texts.
struct CameraRecord {
    QString texts[4];
    bool operator==(const CameraRecord& other) const {
        return texts[0] == other.texts[0] && texts[1] == other.texts[1] &&
               texts[2] == other.texts[2] && texts[3] == other.texts[3];
    }
};

// Photo-button or video-button state of the overlay, as the initial
// synchronisation leaves it.
struct CaptureButtonState {
    uint8_t kind = 0; // 0 photo button, 1 video button
    uint8_t subMode = 0;
    uint8_t runState = 0;
    uint8_t active = 0;
    int param = 0;
};

// The event hub: the one object through which the worker threads and the
// widgets exchange state and notifications. Scalars are atomics; texts, lists
// and records are SharedValue (each with its own mutex). It lives until the
// process ends.
// Registers the types the hub's signals carry between threads (cv::Mat and
// Orun_Camera_CurrStatus), once the application object exists.
void registerQueuedTypes();

class OrunAppFace : public QObject {
    Q_OBJECT
public:
    static OrunAppFace* instance();

    // --- Operation request slot (written by requesters, read by the runtime)
    std::atomic<int> iOperation{-1};
    std::atomic<int> iOperating{0}; // release by requesters, acquire by the runtime
    std::atomic<int> iWho{0};
    SharedValue<QPointF> ptFocus;
    SharedValue<QPointF> ptSelect;
    SharedValue<GimbalSpeed> gimbalSpeed;
    std::atomic<bool> bGimbalMoving{false};
    std::atomic<int> iGimbalPeriodMs{120};
    std::atomic<uint8_t> iZoomSpeed{0};
    std::atomic<float> fZoomRate{0.0f};
    std::atomic<int> iWorkMode{0};
    std::atomic<int> iWorkSubMode{0};
    std::atomic<int> iPhotoMode{0};
    std::atomic<int> iPhotoParam{0};
    std::atomic<int> iResolution{0};
    std::atomic<int> iAiMode{0};
    std::atomic<int> iAiValue{0};
    std::atomic<int> iMirror{0};
    std::atomic<int> iGimbalSetItem{0};
    std::atomic<int> iGimbalSetValue{0};
    std::atomic<int> iPhotoRatio{0};
    SharedValue<WifiBlock> wifiRequest; // mode, name, password for operation 20

    // --- Photo and video event records (filled by the file pushes)
    std::atomic<int> iPhotoWorkMode{-1};
    std::atomic<int> iPhotoCount{0};
    SharedValue<QStringList> lstPhotoPath;
    std::atomic<int> iRecWorkMode{-1};
    std::atomic<int> iRecCount{0};
    SharedValue<QStringList> lstRecPath;

    // --- Application flags
    std::atomic<bool> uiActive{true};
    std::atomic<bool> showTarget{true};
    // The screen's OpenGL draws on the CPU (a software rasterizer): shading
    // the planes costs it more than a plain copy, so the display stage hands
    // the widget its pictures converted to R, G, B, A as well.
    std::atomic<bool> softwareScreen{false};

    // --- Configuration
    std::atomic<int> iLanguage{1};
    std::atomic<int> iWifiMode{0};    // 0 station mode, 1 hotspot mode
    SharedValue<QString> sWifiSsid;   // station network name (Wi-Fi station dialog)
    SharedValue<QString> sWifiPasswd; // station password (Wi-Fi station dialog)

    // --- Link
    SharedValue<QString> sLocalAddress;
    SharedValue<QString> sCameraAddress;
    SharedValue<StationInfoBlock> wifiWorkStatus;
    std::atomic<bool> bCameraReached{false};
    SharedValue<CameraRecord> selectedCamera;
    SharedValue<QString> sStationAddress;

    // --- Pushed camera values
    std::atomic<int> iCurrentZoomRate{10};
    SharedValue<Orun_Camera_CurrStatus> currStatus;
    SharedValue<GimbalStateRecord> gimbalState;
    SharedValue<SdkInfoB1> sdkInfoB1;
    SharedValue<SdkRecord44> sdkInfo2F;
    SharedValue<QStringList> lstOnlineCamera;

    // --- Layout
    std::atomic<int> iScreenLayout{0}; // 0 16:9, 1 9:16, 2 4:3, 3 3:4, 4 1:1
    std::atomic<bool> bPortrait{false};
    SharedValue<QRect> rcNormal; // the main window's normal rectangle

    // --- Overlay button states (initial synchronisation)
    SharedValue<CaptureButtonState> photoBtnState;
    SharedValue<CaptureButtonState> videoBtnState;

    // --- Video settings
    std::atomic<int> iDecodeMode{0}; // 0 hardware decoding, 1 software decoding
    std::atomic<bool> bCtrlBtnVisible{true};

    // --- Fault messages
    // Appends a copy with state 0 unless the id is listed already; a listed
    // entry that was cleared (state 2) is raised again (state 0).
    void raiseFault(const FaultEntry& entry);
    // Overwrites level and text of the listed entry with that id; its state
    // becomes 1 when entry.state is non-zero, else 0. An unlisted id is not added.
    void updateFault(const FaultEntry& entry);
    void markFaultCleared(int id);
    void dropFault(int id);
    void clearFaults();
    QList<FaultEntry> faults() const;
    bool hasFault(int id) const;

    // --- Camera records and online cameras
    QList<CameraRecord> cameraRecords() const;
    void appendCameraRecord(const CameraRecord& record);
    void clearCameraRecords();
    void dropCameraRecord(const CameraRecord& record);
    void dropOnlineCamera(const QString& text);
    // Stores the address and requests operation 19 when the request slot is free.
    void requestStationQuery(const QString& text);

    // Posts an operation: parameters must be written before; iOperation is
    // stored, then iOperating = 1 with release ordering, and the runtime is
    // woken.
    void postOperation(int code);
    // The runtime's wait for work: returns when a post (or a wake) came after
    // operationPosts() returned `seen`.
    uint64_t operationPosts() const;
    void waitForOperation(uint64_t seen) const;
    void wakeOperationWaiters();

signals:
    void signal_showConnectSatus(int iState);
    void signal_showFullScreen(bool bFullScreen);
    void signal_showVideoFrame(cv::Mat img);
    void signal_randerFinished(bool bFinshed);
    void signal_showVideoBgImg(QImage img);
    void signal_showCurrentZoomRate(int iRate);
    void signal_showPhotoModeSettingBtnStyle();
    void signal_showVideoCtrlBtnStyle(bool bRun);
    void signal_showModeSettingUIStyle();
    void signal_startBurstCount(int iTimerStart, bool bBegin);
    void signal_startCountVideoTime(int iTime);
    void signal_setVideoBtnDlgVisable(bool bShow);
    void signal_syncRateBtn(QRectF rt, QString sText);
    void signal_showRateBtn(bool bShow);
    void signal_syncCameraStatusToUI(Orun_Camera_CurrStatus status, bool bConstrainted);
    void signal_syncGimbalLockButton();
    void signal_syncScreenSize();
    void signal_videoBtnCtrlVisable();
    void signal_showErrInfo();
    void signal_updateOnlineCamera();
    void signal_showWifiWorkStatusInfo();
    void signal_doOperationFinished(int iWho, int ec);
    void signal_resetVideoKcpClient();
    void signal_startVideoStatisticalTime(int iTimeStart);
    void signal_stopVideoStatisticalTime();
    void signal_startCountDown(int iTimeStart, bool bBegin);
    void signal_stopCountDown();
    // A stream picture for the video widget as the decoder's planes (R, G, B
    // pictures, such as the stop-video picture, go by signal_showVideoFrame).
    void signal_showVideoPlanes(PlanePicture picture);

private:
    OrunAppFace();

    SharedValue<QList<FaultEntry>> lstFault;
    SharedValue<QList<CameraRecord>> lstCameraRecord;

    mutable std::mutex m_postMutex;
    mutable std::condition_variable m_posted;
    uint64_t m_posts = 0;
};
