#pragma once

class QWidget;

// The pieces of the main window that come from other folders of the program:
// the video widget and decoder, the overlay variants, the settings dialog and
// the start-up and close paths. Each is reached through these functions so
// that the window builds on its own while a piece is absent from the build.
namespace WindowParts {

// Reads the configuration and loads the interface language.
void loadConfiguration();
// Stops the workers in order before the window closes.
void shutdown();

// The process-wide video widget, or nullptr when this build has none.
QWidget* videoWidget();
// Connections of the hub to the video widget and the decoder controller.
void connectVideo();

// The overlay variant of a picture layout (0 .. 4), or nullptr.
QWidget* overlay(int layout);
// The hub connections of every overlay variant, in the order of the variants.
void connectOverlays();

// Runs the general settings dialog modally.
void runGeneralSettings();

} // namespace WindowParts
