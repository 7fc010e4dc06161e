#version 430 core

// The sky cube around the camera. The view matrix has no translation, so the cube's positions
// are world directions; writing w as depth puts every fragment on the far plane, behind all
// terrain drawn before it.

#include "atmosphere.glsl"

layout(location = 0) in vec3 a_position;

uniform mat4 u_model;
uniform mat4 u_view;
uniform mat4 u_proj;
uniform float u_camera_altitude;
uniform vec3 u_sun_direction;

out vec3 v_direction;
flat out float v_horizon;
flat out float v_sin_horizon;
flat out float v_star_visibility; // 0 by day ... 1 once the sun is 12 degrees down

void main()
{
    v_direction = (u_model * vec4(a_position, 1.0)).xyz;
    v_horizon = table_horizon(u_camera_altitude);
    v_sin_horizon = sin(v_horizon);
    v_star_visibility = 1.0 - smoothstep(-0.2, -0.05, normalize(u_sun_direction).y);
    vec4 clip = u_proj * u_view * vec4(v_direction, 1.0);
    gl_Position = clip.xyww;
}
