#pragma once

// The per-frame tile quadtree: a 2×2 block of min_zoom tiles around the grid vertex
// nearest the level-of-detail centre, each split into its four child tiles while it is
// large compared with its distance from the centre. Built from scratch every frame.

#include "terrain/WorldFrame.h"
#include "tiles/TileId.h"
#include "tiles/WebMercator.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct Node {
    WorldXZ bounds_min;       // north-west corner
    WorldXZ bounds_max;       // south-east corner
    bool is_leaf = true;
    uint32_t depth = 0;       // 0 for the root
    Node* parent = nullptr;   // null for the root
    // North-west, north-east, south-east, south-west; all null for a leaf.
    std::array<std::unique_ptr<Node>, 4> children;
    TileId tile{};            // (0, 0, 0) for the root, which is never drawn

    Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    // Children go first, in order 0 to 3.
    ~Node();
};

class QuadTree {
public:
    // Builds the tree around center (degrees). Depth is limited to max_zoom − min_zoom
    // (so leaves reach zoom max_zoom − 1); with max_zoom at or below min_zoom the tree is
    // the root's four children only.
    QuadTree(LatLon center, uint32_t min_zoom, uint32_t max_zoom, double split_factor, const WorldFrame& frame);

    QuadTree(const QuadTree&) = delete;
    QuadTree& operator=(const QuadTree&) = delete;

    // Calls callback with node, then recurses into its children in order; null does nothing.
    static void traverse(const Node* node, const std::function<void(const Node*)>& callback);

    // The leaves, coarse to fine (stable: equal depths keep traversal order).
    std::vector<const Node*> sorted_leaves() const;

    uint32_t max_depth = 0;     // bounded depth limit, see the constructor
    std::unique_ptr<Node> root;
    double split_factor = 1.0;

private:
    void refine(Node* node);
    static void subdivide(Node* node);

    WorldXZ m_center; // the LOD centre in world coordinates: every distance is measured from it
};

// Depth limit for the zoom limits: max_zoom − min_zoom when max_zoom is above min_zoom,
// else 0; never deeper than MAX_TILE_ZOOM allows.
uint32_t quadtree_max_depth(uint32_t min_zoom, uint32_t max_zoom);
