#pragma once

#include <memory>

class KcpWrapper;

// The pipeline's links to the rest of the program, kept in their own
// translation unit: the control link's connected flag and the media client.
bool cameraLinkConnected();
std::shared_ptr<KcpWrapper> defaultMediaClient();
