#pragma once

// The VISCA server of the running program: on when the settings (or the
// run's --visca) ask for it, its requests carried out by the operations the
// overlay and the keys use. Off, nothing is opened.

#include "app/ControlSettings.h"
#include "app/ViscaServer.h"

#include <QString>

#include <memory>

// The banner of a server that could not open its port.
constexpr int kViscaFaultId = 1001;

// The operations of the program's camera for the server's requests.
std::shared_ptr<ViscaOperations> programViscaOperations();

// The server settings of the control settings.
ViscaServerSettings viscaServerSettings(const ControlSettings& control);

// Starts the server when `control` has it on (a running one is stopped
// first). A port that cannot be had shows a banner and a log line; the rest
// of the program goes on. False then.
bool startViscaControl(const ControlSettings& control);
void stopViscaControl();

// The last controller and how long ago it sent, for the statistics; empty
// while the server is off or no controller has sent yet.
struct ViscaControllerSeen {
    QString who;
    double secondsAgo = -1;
};
ViscaControllerSeen viscaControllerSeen();
