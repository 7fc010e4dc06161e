#pragma once

// The aircraft heard from the active camera: the program's sound (sound::SoundScape) and, once a
// frame, what it follows, read from the flight and the cameras.
//
// Positions go to the sound in true metres (the physics frame's Mercator metres divided by the
// aircraft's true scale), so the distance at which the aircraft starts to fade is the same in
// Innsbruck as on the equator.

#include "app/CameraRig.h"
#include "app/Flight.h"
#include "sound/SoundInputs.h"
#include "sound/SoundScape.h"
#include "sound/SoundSettings.h"

class AircraftSound {
public:
    // Opens the audio device unless settings.enabled is false, or prints "No sound: <reason>"
    // (see sound::SoundScape). Opening sets environment variables: make this before any other
    // thread starts. world_scale: world units per physics metre.
    AircraftSound(const sound::SoundSettings& settings, float world_scale);

    // One frame of dt seconds, paused or not, after the flight has stepped and the cameras have
    // moved.
    void update(const Flight& flight, const CameraRig& cameras, float dt);

    sound::SoundScape& scape() { return m_scape; }
    const sound::SoundScape& scape() const { return m_scape; }

private:
    // What the sound follows this frame.
    sound::SoundInputs inputs(const Flight& flight, const CameraRig& cameras) const;

    sound::SoundScape m_scape;
    float m_world_scale;
};
