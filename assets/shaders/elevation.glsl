// Heights from an elevation tile texture, shared by the terrain's vertex and fragment stages.
// The texture holds metres above sea level as floats, decoded on the CPU by the same code that
// answers the program's elevation queries, so the drawn ground and the ground the aircraft
// stands on agree.

uniform sampler2D u_height_texture;
uniform int u_height_texture_enabled;
uniform vec2 u_height_uv_min;
uniform vec2 u_height_uv_max;
uniform sampler2D u_normal_texture;         // the same tile's surface normals, east and south
uniform int u_normal_texture_enabled;
uniform float u_height_correction_factor;   // |cos(latitude)| at the camera
uniform float u_terrain_scaling_factor;     // world units per Mercator metre
uniform int u_ignore_elevation;


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
    return metres_to_world_height(textureLod(u_height_texture, texture_uv, lod).r);
}
