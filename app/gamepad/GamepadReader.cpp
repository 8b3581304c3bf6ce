#include "app/gamepad/GamepadReader.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

// A stick or trigger past this much of its travel makes its controller the
// one in use (a resting stick's noise does not).
constexpr int kTakeOver = 8000;

// After the devices changed, SDL is asked again a little later: the system
// may announce a device, or allow it to be opened, a moment after its node
// appears.
constexpr std::chrono::milliseconds kLooksAfterAChange[] = {
    std::chrono::milliseconds(0), std::chrono::milliseconds(500), std::chrono::milliseconds(2000)};

bool commandButton(uint8_t sdlButton, GamepadButton* button) {
    switch (sdlButton) {
    case SDL_CONTROLLER_BUTTON_A:
        *button = GamepadButton::A;
        return true;
    case SDL_CONTROLLER_BUTTON_B:
        *button = GamepadButton::B;
        return true;
    case SDL_CONTROLLER_BUTTON_X:
        *button = GamepadButton::X;
        return true;
    case SDL_CONTROLLER_BUTTON_Y:
        *button = GamepadButton::Y;
        return true;
    case SDL_CONTROLLER_BUTTON_START:
        *button = GamepadButton::Start;
        return true;
    case SDL_CONTROLLER_BUTTON_BACK:
        *button = GamepadButton::Back;
        return true;
    default:
        return false;
    }
}

} // namespace

struct GamepadReader::Open {
    SDL_GameController* controller = nullptr;
    std::string name;
};

GamepadReader::GamepadReader(Events events, std::chrono::milliseconds pollInterval)
    : m_events(std::move(events)), m_pollInterval(pollInterval) {}

GamepadReader::~GamepadReader() {
    stop();
}

bool GamepadReader::start() {
    return m_thread.start("orun-gamepad", [this] { run(); });
}

void GamepadReader::stop() {
    m_thread.stop(2000, [this] { m_watch.wake(); });
}

void GamepadReader::rescan() {
    m_rescanAsked = true;
    m_watch.wake();
}

std::vector<std::string> GamepadReader::controllers() const {
    std::lock_guard<std::mutex> lock(m_namesMutex);
    return m_names;
}

void GamepadReader::run() {
    // The program handles its own signals, and the window's focus is its own
    // business: SDL reads the controllers whatever window is in front.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        if (m_events.unavailable)
            m_events.unavailable(SDL_GetError());
        return;
    }
    while (m_thread.running()) {
        m_rescanAsked = false;
        readEvents();
        const Clock::time_point now = Clock::now();
        m_looks.erase(std::remove_if(m_looks.begin(), m_looks.end(),
                                     [now](Clock::time_point t) { return t <= now; }),
                      m_looks.end());
        std::chrono::milliseconds timeout(-1);
        if (!m_open.empty())
            timeout = m_pollInterval;
        else if (!m_looks.empty())
            timeout = std::chrono::ceil<std::chrono::milliseconds>(
                *std::min_element(m_looks.begin(), m_looks.end()) - now);
        if (m_rescanAsked)
            continue;
        if (m_watch.wait(timeout)) {
            const Clock::time_point changed = Clock::now();
            for (std::chrono::milliseconds after : kLooksAfterAChange)
                m_looks.push_back(changed + after);
        }
    }
    for (auto& [id, open] : m_open)
        SDL_GameControllerClose(open->controller);
    m_open.clear();
    publishNames();
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

void GamepadReader::readEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
        case SDL_CONTROLLERDEVICEADDED:
            openController(event.cdevice.which);
            break;
        case SDL_CONTROLLERDEVICEREMOVED:
            closeController(event.cdevice.which);
            break;
        case SDL_CONTROLLERBUTTONDOWN: {
            if (m_open.count(event.cbutton.which))
                m_inUse = event.cbutton.which;
            GamepadButton button;
            if (commandButton(event.cbutton.button, &button) && m_events.pressed)
                m_events.pressed(button);
            break;
        }
        case SDL_CONTROLLERAXISMOTION:
            if (std::abs(static_cast<int>(event.caxis.value)) > kTakeOver &&
                m_open.count(event.caxis.which))
                m_inUse = event.caxis.which;
            break;
        default:
            break;
        }
    }
    deliverPositions();
}

void GamepadReader::openController(int deviceIndex) {
    SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
    if (!controller)
        return;
    const int id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
    if (m_open.count(id)) {
        // Already ours: SDL counts the second opening.
        SDL_GameControllerClose(controller);
        return;
    }
    auto open = std::make_unique<Open>();
    open->controller = controller;
    const char* name = SDL_GameControllerName(controller);
    open->name = name && *name ? name : "Game controller";
    const std::string opened = open->name;
    m_open[id] = std::move(open);
    if (m_inUse < 0)
        m_inUse = id;
    publishNames();
    if (m_events.connected)
        m_events.connected(opened);
}

void GamepadReader::closeController(int instanceId) {
    const auto it = m_open.find(instanceId);
    if (it == m_open.end())
        return;
    const std::string name = it->second->name;
    SDL_GameControllerClose(it->second->controller);
    m_open.erase(it);
    if (m_inUse == instanceId)
        m_inUse = m_open.empty() ? -1 : m_open.begin()->first;
    publishNames();
    // Its sticks count no more: the positions of the next one (or rest) go
    // out before the news of its going.
    deliverPositions();
    if (m_events.disconnected)
        m_events.disconnected(name);
}

void GamepadReader::deliverPositions() {
    GamepadAxes axes;
    const auto it = m_open.find(m_inUse);
    if (it != m_open.end()) {
        SDL_GameController* c = it->second->controller;
        axes.leftX = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
        axes.leftY = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY);
        axes.rightX = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTX);
        axes.rightY = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTY);
        axes.leftTrigger = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERLEFT);
        axes.rightTrigger = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
    }
    if (axes == m_delivered)
        return;
    m_delivered = axes;
    if (m_events.moved)
        m_events.moved(axes);
}

void GamepadReader::publishNames() {
    std::vector<std::string> names;
    const auto inUse = m_open.find(m_inUse);
    if (inUse != m_open.end())
        names.push_back(inUse->second->name);
    for (const auto& [id, open] : m_open)
        if (id != m_inUse)
            names.push_back(open->name);
    std::lock_guard<std::mutex> lock(m_namesMutex);
    m_names = std::move(names);
}
