#include "terrain/QuadTree.h"

#include <algorithm>
#include <cmath>

Node::~Node()
{
    for (auto& child : children)
        child.reset();
}

uint32_t quadtree_max_depth(uint32_t min_zoom, uint32_t max_zoom)
{
    // "Min Zoom" above "Max Zoom" would wrap the unsigned difference and leave only the
    // distance rule to stop splitting, which never stops for the node holding the centre
    // once split_factor reaches 1/√2. Such limits select the coarsest tree instead.
    const uint32_t depth = max_zoom > min_zoom ? max_zoom - min_zoom : 0;
    // A node of depth d shows zoom min_zoom + d − 1; keep that at most MAX_TILE_ZOOM.
    const uint32_t deepest = min_zoom < MAX_TILE_ZOOM ? MAX_TILE_ZOOM - min_zoom + 1 : 1;
    return std::min(depth, deepest);
}

QuadTree::QuadTree(LatLon center, uint32_t min_zoom, uint32_t max_zoom, double split_factor_, const WorldFrame& frame)
    : max_depth(quadtree_max_depth(min_zoom, max_zoom)), root(std::make_unique<Node>()), split_factor(split_factor_)
{
    const double n = static_cast<double>(tiles_per_side(min_zoom));
    const TileId vertex = tile_corner_at(center, min_zoom);
    const double s = frame.scaling_factor;
    const double half = EARTH_CIRCUMFERENCE / n * s;

    // The vertex's latitude goes back through Mercator metres, so the block's edges sit on
    // the same grid lines the tiles' own bounds come from.
    const double wx = (static_cast<double>(vertex.x) / n * EARTH_CIRCUMFERENCE - frame.origin_x) * s;
    const double lat_v = std::atan(mercator_sinh(PI - static_cast<double>(vertex.y) * TWO_PI / n)) * RAD_TO_DEG;
    const double wz = (mercator_y(lat_v) - frame.origin_y) * s;

    m_center = latlon_to_world(center, frame.origin_x, frame.origin_y, s);

    root->bounds_min = {wx - half, wz - half};
    root->bounds_max = {wx + half, wz + half};
    root->depth = 0;
    root->is_leaf = false;
    root->tile = TileId{0, 0, 0};

    const WorldXZ lo = root->bounds_min;
    const WorldXZ hi = root->bounds_max;
    const WorldXZ mid = {lo.x + (hi.x - lo.x) * 0.5, lo.z + (hi.z - lo.z) * 0.5};
    const std::array<TileId, 4> tiles = corner_block(vertex);
    const std::array<std::pair<WorldXZ, WorldXZ>, 4> bounds = {{
        {{lo.x, lo.z}, {mid.x, mid.z}},
        {{mid.x, lo.z}, {hi.x, mid.z}},
        {{mid.x, mid.z}, {hi.x, hi.z}},
        {{lo.x, mid.z}, {mid.x, hi.z}},
    }};
    for (size_t i = 0; i < 4; ++i) {
        auto child = std::make_unique<Node>();
        child->bounds_min = bounds[i].first;
        child->bounds_max = bounds[i].second;
        child->depth = 1;
        child->is_leaf = true;
        child->parent = root.get();
        child->tile = tiles[i];
        root->children[i] = std::move(child);
    }
    for (auto& child : root->children)
        refine(child.get());
}

void QuadTree::refine(Node* node)
{
    if (node == nullptr || node->depth >= max_depth)
        return;
    const double w = node->bounds_max.x - node->bounds_min.x;
    const double cx = node->bounds_min.x + w * 0.5;
    const double cz = node->bounds_min.z + (node->bounds_max.z - node->bounds_min.z) * 0.5;
    const double d = std::sqrt((m_center.x - cx) * (m_center.x - cx) + (m_center.z - cz) * (m_center.z - cz));
    if (!(w * split_factor > d))
        return;
    subdivide(node);
    for (auto& child : node->children)
        refine(child.get());
}

void QuadTree::subdivide(Node* node)
{
    const WorldXZ lo = node->bounds_min;
    const WorldXZ hi = node->bounds_max;
    const WorldXZ mid = {lo.x + (hi.x - lo.x) * 0.5, lo.z + (hi.z - lo.z) * 0.5};
    const uint32_t z = node->tile.zoom + 1;
    const uint32_t x = 2 * node->tile.x;
    const uint32_t y = 2 * node->tile.y;
    const std::array<std::pair<WorldXZ, WorldXZ>, 4> bounds = {{
        {lo, mid},
        {{mid.x, lo.z}, {hi.x, mid.z}},
        {mid, hi},
        {{lo.x, mid.z}, {mid.x, hi.z}},
    }};
    const std::array<TileId, 4> tiles = {TileId{z, x, y}, TileId{z, x + 1, y}, TileId{z, x + 1, y + 1}, TileId{z, x, y + 1}};
    node->is_leaf = false;
    for (size_t i = 0; i < 4; ++i) {
        auto child = std::make_unique<Node>();
        child->bounds_min = bounds[i].first;
        child->bounds_max = bounds[i].second;
        child->depth = node->depth + 1;
        child->is_leaf = true;
        child->parent = node;
        child->tile = tiles[i];
        node->children[i] = std::move(child);
    }
}

void QuadTree::traverse(const Node* node, const std::function<void(const Node*)>& callback)
{
    if (node == nullptr)
        return;
    callback(node);
    if (node->is_leaf)
        return;
    for (const auto& child : node->children)
        traverse(child.get(), callback);
}

std::vector<const Node*> QuadTree::sorted_leaves() const
{
    std::vector<const Node*> leaves;
    traverse(root.get(), [&leaves](const Node* node) {
        if (node->is_leaf)
            leaves.push_back(node);
    });
    std::stable_sort(leaves.begin(), leaves.end(), [](const Node* a, const Node* b) { return a->depth < b->depth; });
    return leaves;
}
