#pragma once

#include "tools/camsim/media/MediaCamera.h"

#include <cstdint>
#include <memory>
#include <random>

// A simulated camera's media side on some free loopback command port, so that
// these tests need not hold the fixed port 11155.
inline std::unique_ptr<camsim::MediaCamera> start_camera(camsim::MediaConfig config = {}) {
    static std::mt19937 random(std::random_device{}());
    for (;;) {
        config.commandPort = static_cast<uint16_t>(20000 + random() % 40000);
        auto camera = std::make_unique<camsim::MediaCamera>(config);
        if (camera->start())
            return camera;
    }
}
