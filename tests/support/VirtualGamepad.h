#pragma once

// A game controller made by SDL itself (a virtual joystick of the game
// controller kind, with the standard pad's sticks, triggers and buttons): no
// device node and no display needed. Plugged in on construction, pulled out
// by unplug() or the destructor. Its positions reach the readers at SDL's
// next update.

#include <SDL.h>

#include <string>

class VirtualGamepad {
public:
    explicit VirtualGamepad(const char* name = "Virtual pad") {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // Keeps SDL's joysticks up for the pad's life, whoever else starts and
        // ends them.
        m_initialised = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
        if (!m_initialised) {
            m_error = SDL_GetError();
            return;
        }
        SDL_VirtualJoystickDesc desc;
        SDL_zero(desc);
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.name = name;
        const int index = SDL_JoystickAttachVirtualEx(&desc);
        if (index < 0) {
            m_error = SDL_GetError();
            return;
        }
        m_instance = SDL_JoystickGetDeviceInstanceID(index);
        m_joystick = SDL_JoystickOpen(index);
        if (!m_joystick)
            m_error = SDL_GetError();
    }
    ~VirtualGamepad() {
        unplug();
        if (m_initialised)
            SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
    VirtualGamepad(const VirtualGamepad&) = delete;
    VirtualGamepad& operator=(const VirtualGamepad&) = delete;

    bool plugged() const { return m_joystick != nullptr; }
    const std::string& error() const { return m_error; }

    // An axis of SDL_GameControllerAxis: sticks -32768..32767 (y down),
    // triggers 0..32767.
    void setAxis(SDL_GameControllerAxis axis, int value) {
        if (m_joystick)
            SDL_JoystickSetVirtualAxis(m_joystick, axis, static_cast<Sint16>(value));
    }
    void setButton(SDL_GameControllerButton button, bool down) {
        if (m_joystick)
            SDL_JoystickSetVirtualButton(m_joystick, button, down ? 1 : 0);
    }
    void unplug() {
        if (!m_joystick)
            return;
        SDL_JoystickClose(m_joystick);
        m_joystick = nullptr;
        // The device index of the pad now: earlier ones may have gone.
        for (int i = 0; i < SDL_NumJoysticks(); ++i)
            if (SDL_JoystickGetDeviceInstanceID(i) == m_instance) {
                SDL_JoystickDetachVirtual(i);
                break;
            }
    }

private:
    bool m_initialised = false;
    SDL_JoystickID m_instance = -1;
    SDL_Joystick* m_joystick = nullptr;
    std::string m_error;
};
