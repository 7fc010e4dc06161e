// Sun lighting shared by the scene shaders: Lambert diffuse with an ambient floor, darkened
// where the shadow map says the sun is blocked, and at night.
//
// The drawables set only their own uniforms; the application may add the shadow inputs on
// the program before drawing. Until it does, these defaults give unshadowed sunlight.
uniform vec3 u_sun_direction = vec3(0.4364358, 0.8728716, 0.2182179); // towards the sun
uniform bool u_shadows_enabled = false;
uniform mat4 u_light_space_matrix;
layout(binding = 3) uniform sampler2D u_shadow_map;

const float AMBIENT = 0.35;

// 1.0 where lit, down to 0.0 where the shadow map holds something nearer to the sun.
// 3×3 percentage-closer filtering softens the map's texel edges.
float sun_visibility(vec3 world_position, vec3 normal)
{
    if (!u_shadows_enabled)
        return 1.0;
    vec4 light_clip = u_light_space_matrix * vec4(world_position, 1.0);
    if (light_clip.w <= 0.0)
        return 1.0;
    vec3 coords = light_clip.xyz / light_clip.w * 0.5 + 0.5;
    // Beyond the far plane nothing was rendered: count it as lit.
    if (coords.z > 1.0)
        return 1.0;
    float slope = 1.0 - clamp(dot(normal, normalize(u_sun_direction)), 0.0, 1.0);
    float bias = max(0.005 * slope, 0.0005);
    vec2 texel = 1.0 / vec2(textureSize(u_shadow_map, 0));
    float lit = 0.0;
    for (int x = -1; x <= 1; ++x) {
        for (int y = -1; y <= 1; ++y) {
            float nearest = texture(u_shadow_map, coords.xy + vec2(x, y) * texel).r;
            lit += coords.z - bias > nearest ? 0.0 : 1.0;
        }
    }
    return lit / 9.0;
}

// The sun lights nothing once it has set; the ambient light fades with the sky's through the
// twilight (the sun 12 degrees down) to a small part of the day's.
const float NIGHT_AMBIENT = 0.08;

vec3 shade(vec3 base_color, vec3 world_position, vec3 normal)
{
    vec3 sun = normalize(u_sun_direction);
    float diffuse = max(dot(normal, sun), 0.0) * smoothstep(-0.01, 0.02, sun.y);
    float visibility = sun_visibility(world_position, normal);
    float ambient = AMBIENT * mix(NIGHT_AMBIENT, 1.0, smoothstep(-0.2, 0.0, sun.y));
    return base_color * (ambient + (1.0 - AMBIENT) * diffuse * visibility);
}

// Flat face normal from screen-space derivatives, for geometry that carries no normals.
// Oriented towards the viewer.
vec3 face_normal(vec3 world_position)
{
    return normalize(cross(dFdx(world_position), dFdy(world_position)));
}
