#pragma once

#include "hub/CameraStatus.h"

// Turns the camera's status and battery reports and the storage-card state
// into fault messages of the hub's list, and announces each change with
// signal_showErrInfo().

// Called by the status-push parser (control receive thread).
void applyStatusReport(const Orun_Camera_CurrStatus& status);
// Called by the battery-push parser with the one-byte level (control receive thread).
void applyBatteryReport(int level);
// Second half of operation 18 (runtime thread), after getSdCardInfo succeeded.
void applySdCardState(int state, int error);
