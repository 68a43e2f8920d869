#include "color/ColorQuantizer.h"

#include <stdexcept>
#include <string>

namespace gw {

namespace {

constexpr std::int32_t kMaxColorBits = 8;

// Child index of a colour at a node of the given level: bit (7 - level) of red, green and blue, red
// the most significant.
std::size_t ChildIndex(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::int32_t level) {
    const int shift = 7 - level;
    return static_cast<std::size_t>((((r >> shift) & 1) << 2) | (((g >> shift) & 1) << 1) |
                                    ((b >> shift) & 1));
}

std::uint8_t Average(std::int64_t sum, std::int32_t count) {
    // Truncating division; sums are non-negative, so this rounds down.
    return static_cast<std::uint8_t>(sum / count);
}

} // namespace

TOctreeNode::TOctreeNode(std::int32_t level, std::int32_t colorBits, std::int32_t& leafCount,
                         TReducibleNodes& reducibleNodes)
    : IsLeaf(level == colorBits) {
    if (IsLeaf) {
        ++leafCount;
    } else {
        // The newest node of a level is the head of that level's list, so it is merged first.
        Next = reducibleNodes[static_cast<std::size_t>(level)];
        reducibleNodes[static_cast<std::size_t>(level)] = this;
    }
}

TColorQuantizer::TColorQuantizer(std::int32_t maxColors, std::int32_t colorBits)
    : FMaxColors(maxColors), FColorBits(colorBits) {
    if (colorBits < 1 || colorBits > kMaxColorBits)
        throw std::invalid_argument("TColorQuantizer: ColorBits must be 1 to 8, got " +
                                    std::to_string(colorBits));
    if (maxColors < 1)
        throw std::invalid_argument("TColorQuantizer: MaxColors must be at least 1, got " +
                                    std::to_string(maxColors));
}

TColorQuantizer::~TColorQuantizer() = default;

bool TColorQuantizer::ProcessImage(const TBitmap24& bitmap) {
    if (bitmap.Width <= 0 || bitmap.Height <= 0)
        return false;
    const auto rowBytes = static_cast<std::uint64_t>(bitmap.Width) * 3;
    if (bitmap.Stride < 0 || static_cast<std::uint64_t>(bitmap.Stride) < rowBytes)
        return false;
    // The last row needs only its pixels, not its padding.
    const auto needed =
        static_cast<std::uint64_t>(bitmap.Stride) * static_cast<std::uint64_t>(bitmap.Height - 1) + rowBytes;
    if (needed > bitmap.Bits.size())
        return false;

    for (std::int32_t row = 0; row < bitmap.Height; ++row) {
        const std::uint8_t* p =
            bitmap.Bits.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(bitmap.Stride);
        for (std::int32_t x = 0; x < bitmap.Width; ++x, p += 3)
            AddColor(p[2], p[1], p[0]);
    }
    return true;
}

void TColorQuantizer::AddColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    InsertColor(FTree, r, g, b, 0);
    while (FLeafCount > FMaxColors) {
        if (!MergeDeepestNode())
            break;
    }
}

void TColorQuantizer::InsertColor(std::unique_ptr<TOctreeNode>& slot, std::uint8_t r, std::uint8_t g,
                                  std::uint8_t b, std::int32_t level) {
    std::unique_ptr<TOctreeNode>* current = &slot;
    for (;;) {
        if (!*current)
            *current = std::make_unique<TOctreeNode>(level, FColorBits, FLeafCount, FReducibleNodes);
        TOctreeNode& node = **current;
        if (node.IsLeaf) {
            ++node.PixelCount;
            node.RedSum += r;
            node.GreenSum += g;
            node.BlueSum += b;
            return;
        }
        current = &node.Child[ChildIndex(r, g, b, level)];
        ++level;
    }
}

bool TColorQuantizer::MergeDeepestNode() {
    std::int32_t level = FColorBits - 1;
    while (level > 0 && FReducibleNodes[static_cast<std::size_t>(level)] == nullptr)
        --level;
    TOctreeNode* node = FReducibleNodes[static_cast<std::size_t>(level)];
    // Only reachable with a single leaf left, which MaxColors >= 1 never asks to reduce.
    if (node == nullptr)
        return false;
    FReducibleNodes[static_cast<std::size_t>(level)] = node->Next;
    node->Next = nullptr;

    // The children are leaves: every inner node of a deeper level has been merged already, since the
    // deepest non-empty list is always taken first.
    std::int64_t red = 0, green = 0, blue = 0;
    std::int32_t children = 0;
    for (auto& child : node->Child) {
        if (!child)
            continue;
        red += child->RedSum;
        green += child->GreenSum;
        blue += child->BlueSum;
        node->PixelCount += child->PixelCount;
        child.reset();
        ++children;
    }
    node->IsLeaf = true;
    node->RedSum = red;
    node->GreenSum = green;
    node->BlueSum = blue;
    // A node with a single child reduces nothing; the caller merges again.
    FLeafCount -= children - 1;
    return true;
}

void TColorQuantizer::CollectLeafColors(const TOctreeNode& node, TRGBTripleArray& table) {
    if (node.IsLeaf) {
        TRGBTriple entry;
        if (node.PixelCount > 0) {
            entry.Blue = Average(node.BlueSum, node.PixelCount);
            entry.Green = Average(node.GreenSum, node.PixelCount);
            entry.Red = Average(node.RedSum, node.PixelCount);
        }
        table.push_back(entry);
        return;
    }
    for (const auto& child : node.Child) {
        if (child)
            CollectLeafColors(*child, table);
    }
}

void TColorQuantizer::GetColorTable(TRGBTripleArray& table) const {
    table.clear();
    table.reserve(static_cast<std::size_t>(FLeafCount));
    if (FTree)
        CollectLeafColors(*FTree, table);
}

void TColorQuantizer::GetColorTable2(TRGBTripleArray& table, std::int32_t& index) const {
    GetColorTable(table);
    index = static_cast<std::int32_t>(table.size());
}

} // namespace gw
