#pragma once

// The burst countdown shared by the state read after connecting, the overlay
// and the countdown widget.

// Seconds between burst shots for the burst setting (the hub's iPhotoParam):
// 0→1, 1→3, 2→5, 3→10, anything else 0.
int burstIntervalSeconds(int photoParam);

// Start value of the burst countdown when joining a running burst: the
// interval minus the time since the last shot, plus one. `alignHalfSecond`
// is set when the elapsed time ends on a half second, in which case the
// caller waits about half a second first and the value accounts for it.
// The counts come from the camera: the result is kept within
// 0 .. interval + 1 whatever they are.
int burstCountStart(int interval, int shotCount, int halfSeconds, bool* alignHalfSecond);
