#pragma once

#include <QList>
#include <QString>

struct CameraRecord;

// A camera of the station network as the program remembers it across starts:
// its name (from its station information) and the address it answered from.
struct StationCamera {
    QString name;
    QString address;
    bool isEmpty() const { return name.isEmpty(); }
    bool operator==(const StationCamera& other) const {
        return name == other.name && address == other.address;
    }
    bool operator!=(const StationCamera& other) const { return !(*this == other); }
};

// The camera of `found` (the records of the search) that is `wanted`: the one
// of that name at that address, else the first of that name (the network gave
// it another address since). −1 when none is, and for a camera without a name.
int findStationCamera(const QList<CameraRecord>& found, const StationCamera& wanted);
