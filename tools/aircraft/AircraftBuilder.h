#pragma once

// The shipped aircraft's model, made from numbers rather than drawn: a high-wing single of
// the flight model's dimensions (11 m span, 5 degrees of dihedral, 4 degrees of incidence,
// tail plane and fin where the flight model has them, tricycle gear standing where its wheels
// touch), white with a red stripe. The moving parts are nodes of their own whose origins lie on
// their hinge lines: elevator, aileron_left, aileron_right, rudder, propeller (with a
// propeller_disc beside it) and nose_wheel. Body coordinates: X to the nose, Y up, Z right;
// metres.

#include <string>

namespace aircraft {

// The model as a glTF binary (.glb). Deterministic: the same bytes on every run.
std::string make_trainer_glb();

} // namespace aircraft
