#include "ui/settings/SettingsLogic.h"

#include <QByteArray>

#include <algorithm>

namespace settings {

bool fitsWifiField(const QString& text) {
    return text.toUtf8().size() <= kWifiFieldBytes;
}

bool buildWifiRequest(int mode, const QString& name, const QString& password, WifiBlock& record) {
    const QByteArray nameBytes = name.toUtf8();
    const QByteArray passwordBytes = password.toUtf8();
    if (nameBytes.size() > kWifiFieldBytes || passwordBytes.size() > kWifiFieldBytes)
        return false;
    WifiBlock out{};
    out[0] = static_cast<uint8_t>(mode);
    std::copy(nameBytes.cbegin(), nameBytes.cend(), out.begin() + 1);
    std::copy(passwordBytes.cbegin(), passwordBytes.cend(), out.begin() + 1 + kWifiFieldBytes);
    record = out;
    return true;
}

QString stationText(const StationInfoBlock& block) {
    const auto begin = block.cbegin() + 3;
    const auto end = std::find(begin, block.cend(), uint8_t{0});
    return QString::fromUtf8(reinterpret_cast<const char*>(&*begin), static_cast<int>(end - begin));
}

int photoRatioOfLayout(int layout) {
    switch (layout) {
    case 2:
    case 3:
        return 0;
    case 4:
        return 2;
    default:
        return 1;
    }
}

void markChanged(QList<int>& changed, int id, bool differs) {
    if (differs) {
        if (!changed.contains(id))
            changed.append(id);
    } else {
        changed.removeAll(id);
    }
}

} // namespace settings
