#pragma once

// The application's cameras: perspective cameras that react to the mouse and follow
// whatever they track, once per frame.

#include <SDL.h>

#include "gfx/PerspectiveCamera.h"

class BaseCamera : public gfx::PerspectiveCamera {
public:
    BaseCamera() = default;
    ~BaseCamera() override;

    // Mouse input forwarded by App: motion while the left button is held, wheel always
    // (neither when the overlay owns the mouse).
    virtual void on_event(const SDL_Event& event) = 0;
    // Every frame, for every camera, dt in seconds.
    virtual void on_update(float dt) = 0;

protected:
    BaseCamera(const BaseCamera&) = default;
    BaseCamera& operator=(const BaseCamera&) = default;
};
