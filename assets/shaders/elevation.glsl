// Heights from an elevation tile texture, shared by the terrain's vertex and fragment stages.
// The decoding matches the program's elevation query, so the drawn ground and the ground the
// aircraft stands on agree. Both encodings are linear in the channels, so a filtered sample
// decodes to the filtered height.

uniform sampler2D u_height_texture;
uniform int u_height_texture_enabled;
uniform vec2 u_height_uv_min;
uniform vec2 u_height_uv_max;
uniform int u_elevation_encoding;           // 0 single byte, 1 red/green
uniform float u_height_correction_factor;   // |cos(latitude)| at the camera
uniform float u_terrain_scaling_factor;     // world units per Mercator metre
uniform int u_ignore_elevation;

float decode_elevation_metres(vec4 texel)
{
    if (u_elevation_encoding == 1) {
        return texel.r * 255.0 * 32.0 + texel.g * 255.0 * 0.125;
    }
    return texel.r * 3795.0;
}

// Metres above sea level become world height through Mercator metres: e / |cos φ| × scale.
float metres_to_world_height(float metres)
{
    return metres / max(u_height_correction_factor, 1e-4) * u_terrain_scaling_factor;
}

bool elevation_available()
{
    return u_height_texture_enabled != 0 && u_ignore_elevation == 0;
}

// Position inside the leaf (0..1) to coordinates in the bound elevation texture, which may be
// an ancestor's covering a larger square.
vec2 height_uv(vec2 leaf_uv)
{
    return mix(u_height_uv_min, u_height_uv_max, leaf_uv);
}

float world_height_at(vec2 texture_uv, float lod)
{
    return metres_to_world_height(decode_elevation_metres(textureLod(u_height_texture, texture_uv, lod)));
}
