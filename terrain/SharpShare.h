#pragma once

// How much of the terrain on screen is drawn sharp: the measure of how well streaming keeps
// up with a moving camera.
//
// The sharp share of a frame is the share of the drawn terrain's area on screen whose imagery
// and elevation both come from the tiles its leaves ask for, not from an ancestor standing in:
//
//   sharp share = Σ area(leaf) over drawn leaves with their own imagery and their own elevation
//                 ────────────────────────────────────────────────────────────────────────────
//                 Σ area(leaf) over drawn leaves
//
// - A drawn leaf is one the frame's quadtree selected and did not cull.
// - Its own texture of a layer is the one that belongs to its tile, resident when the frame
//   was prepared; for a leaf finer than the layer's server serves, the texture of its ancestor
//   at the server's max zoom belongs to it (nothing finer exists). Part of a coarser ancestor
//   drawn while the own tile is on its way, or no texture at all, is a stand-in.
// - area(leaf) is the leaf's ground square, taken as level at the middle of the heights of the
//   elevation tile it is drawn with (own or standing in; sea level when none), projected through
//   the frame's view and projection and clipped to the view volume, in pixels. Relief that
//   hides one leaf behind another is not subtracted: on level ground the leaves' squares meet
//   without overlapping on screen, so their areas add up to the terrain's part of the picture;
//   over mountains the far slopes count as if seen.
// - A frame with no terrain on screen has a sharp share of 1: nothing shown is a stand-in.

#include <array>

#include <glm/mat4x4.hpp>
#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

// Pixels a planar quadrilateral (corners in order around it, world coordinates) covers on a
// viewport of the given size, seen through view_projection (a GL clip-space transform): the
// polygon clipped to the view volume (near and far planes, the four edges), then measured.
// 0 when nothing of it is in view.
double screen_area(const glm::mat4& view_projection, glm::vec2 viewport, const std::array<glm::vec3, 4>& corners);

// The sums of one frame.
struct SharpShare {
    double terrain_px = 0.0; // area of every drawn leaf
    double sharp_px = 0.0;   // of those with their own imagery and elevation

    void add(double area_px, bool own_imagery, bool own_elevation)
    {
        terrain_px += area_px;
        sharp_px += own_imagery && own_elevation ? area_px : 0.0;
    }
    double share() const { return terrain_px > 0.0 ? sharp_px / terrain_px : 1.0; }
};
