#pragma once

class QWidget;

// The five video control overlays, one per picture layout.
namespace OverlayWiring {

// The process-wide overlay of a picture layout (0 16:9, 1 9:16, 2 4:3,
// 3 3:4, 4 1:1), created on first use; nullptr for another number.
QWidget* overlay(int layout);

// Connects the event hub (and the video widget) to every overlay, in the order
// 16:9, 9:16, 4:3, 1:1, 3:4. Returns the number of connections made.
int connectOverlays();

} // namespace OverlayWiring
