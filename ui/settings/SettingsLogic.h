#pragma once

#include "hub/CameraStatus.h"

#include <QList>
#include <QString>

// Pure helpers of the settings dialogs, kept apart from the widgets so that
// they can be checked on their own.
namespace settings {

// Capacity of the network name and of the password in the Wi-Fi request record.
constexpr int kWifiFieldBytes = 32;

// Result codes of the Wi-Fi station dialog's modal run.
constexpr int kStationAccepted = 64535;
constexpr int kStationRejected = 63535;

// Setting ids compared by the general settings dialog.
enum SettingId {
    kIdResolution = 0,
    kIdMirror = 1,
    kIdStartOrientation = 2,
    kIdOrientation = 3,
    kIdCtrlButtons = 4,
    kIdLanguage = 5,
    kIdPhotoRatio = 6,
    kIdDecodeMode = 7,
    kIdOnlineCamera = 8,
    kIdAutoConnect = 9, // link to the last station camera by itself
};

// True when the UTF-8 form of the text fits a 32-byte field.
bool fitsWifiField(const QString& text);

// Builds the 65-byte Wi-Fi request record: mode byte, name from byte 1,
// password from byte 33, the rest zero. Returns false (and leaves `record`
// untouched) when either text does not fit its field; nothing is truncated.
bool buildWifiRequest(int mode, const QString& name, const QString& password, WifiBlock& record);

// The text of a station-info block: from its fourth byte up to the first zero
// byte or the end of the block, decoded as UTF-8.
QString stationText(const StationInfoBlock& block);

// Photo ratio code (0 4:3, 1 16:9, 2 1:1) of a picture layout
// (0/1 16:9 family, 2/3 4:3 family, 4 1:1; anything else 16:9).
int photoRatioOfLayout(int layout);

// Updates the list of changed ids for one id: appended when it differs and is
// not listed yet, taken out when it no longer differs.
void markChanged(QList<int>& changed, int id, bool differs);

} // namespace settings
