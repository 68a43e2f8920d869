#pragma once
// Octree colour quantization: an adaptive palette of at most MaxColors colours for a 24-bit picture.
//
// Every pixel's colour is inserted into an 8-way tree keyed by its bits (red most significant in the
// child index, blue least). Whenever the tree holds more leaves than allowed, the most recently
// created inner node of the deepest level is merged into one leaf that sums its children. The pixel
// order and the merge order are fixed, so the same picture always yields the same palette in the same
// order.

#include "image/Convert.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace gw {

// One entry of the output table, stored blue, green, red like a DIB colour triple.
struct TRGBTriple {
    std::uint8_t Blue = 0;
    std::uint8_t Green = 0;
    std::uint8_t Red = 0;
    friend bool operator==(const TRGBTriple&, const TRGBTriple&) = default;
};
using TRGBTripleArray = std::vector<TRGBTriple>;

class TOctreeNode;
// Eight node references: the children of a node, or the per-level lists of the quantizer.
using TReducibleNodes = std::array<TOctreeNode*, 8>;

class TOctreeNode {
public:
    // A leaf when level equals colorBits (counted in leafCount); otherwise an inner node that becomes
    // the head of reducibleNodes[level].
    TOctreeNode(std::int32_t level, std::int32_t colorBits, std::int32_t& leafCount,
                TReducibleNodes& reducibleNodes);

    bool IsLeaf = false;
    std::int32_t PixelCount = 0;
    // NOTE: 64-bit sums: a picture within the bitmap limits can hold more than 2^31 / 255 pixels of
    // one colour, which would overflow 32-bit sums.
    std::int64_t RedSum = 0;
    std::int64_t GreenSum = 0;
    std::int64_t BlueSum = 0;
    // Next inner node of the same level that has not been merged yet (not owned).
    TOctreeNode* Next = nullptr;
    // The children, owned; an absent child is empty.
    std::array<std::unique_ptr<TOctreeNode>, 8> Child;
};

class TColorQuantizer {
public:
    // Valid ranges: maxColors at least 1, colorBits 1 to 8. Anything else is a programming error and
    // throws std::invalid_argument naming the parameter.
    TColorQuantizer(std::int32_t maxColors, std::int32_t colorBits);
    ~TColorQuantizer();
    TColorQuantizer(const TColorQuantizer&) = delete;
    TColorQuantizer& operator=(const TColorQuantizer&) = delete;

    // Feeds every pixel of the grid in storage order: stored rows first to last (for a bottom-up
    // grid this is the bottom image row first), each row left to right, reducing the tree after each
    // pixel. A grid whose stride or buffer is too small for its size is not read; the result tells
    // whether the grid was read.
    bool ProcessImage(const TBitmap24& bitmap);
    // Adds one colour and reduces the tree to at most MaxColors leaves.
    void AddColor(std::uint8_t r, std::uint8_t g, std::uint8_t b);

    // The leaves' colours (truncated averages) in depth-first order; table gets exactly ColorCount()
    // entries, none for an empty tree. GetColorTable2 also hands out the number of entries.
    void GetColorTable(TRGBTripleArray& table) const;
    void GetColorTable2(TRGBTripleArray& table, std::int32_t& index) const;

    std::int32_t ColorCount() const { return FLeafCount; }
    std::int32_t MaxColors() const { return FMaxColors; }
    std::int32_t ColorBits() const { return FColorBits; }

private:
    void InsertColor(std::unique_ptr<TOctreeNode>& slot, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                     std::int32_t level);
    bool MergeDeepestNode();
    static void CollectLeafColors(const TOctreeNode& node, TRGBTripleArray& table);

    std::unique_ptr<TOctreeNode> FTree;
    std::int32_t FLeafCount = 0;
    TReducibleNodes FReducibleNodes{};
    std::int32_t FMaxColors = 0;
    std::int32_t FColorBits = 0;
};

} // namespace gw
