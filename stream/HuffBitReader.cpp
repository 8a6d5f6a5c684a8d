// HuffBitReader: the adaptive Huffman model (initial tree, count updates that keep the sibling
// order, periodic halving) and the fixed distance code tables.
#include "stream/HuffBitReader.h"
#include <qarvex/stream/MemRWStream.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qarvex {

namespace {

// Code words of 3 to 8 bits: groups of 32, 16, 8, 4, 2 and 1 table entries per value of the upper
// six distance bits, for 1, 3, 8, 12, 24 and 16 values respectively.
struct DistanceTables {
    std::array<uint8_t, 256> upper{};
    std::array<uint8_t, 256> length{};
};

constexpr DistanceTables makeDistanceTables() {
    DistanceTables tables;
    struct Group {
        int firstIndex, entriesPerValue, codeLength;
    };
    constexpr Group groups[] = {{0, 32, 3}, {32, 16, 4}, {80, 8, 5}, {144, 4, 6}, {192, 2, 7}, {240, 1, 8}};
    int value = 0;
    for (int g = 0; g < 6; ++g) {
        int end = g + 1 < 6 ? groups[g + 1].firstIndex : 256;
        for (int b = groups[g].firstIndex; b < end; ++b) {
            tables.upper[size_t(b)] = uint8_t(value + (b - groups[g].firstIndex) / groups[g].entriesPerValue);
            tables.length[size_t(b)] = uint8_t(groups[g].codeLength);
        }
        value += (end - groups[g].firstIndex) / groups[g].entriesPerValue;
    }
    return tables;
}

constexpr DistanceTables distanceTables = makeDistanceTables();
static_assert(distanceTables.upper[255] == 63 && distanceTables.upper[31] == 0 &&
              distanceTables.upper[32] == 1);
static_assert(distanceTables.upper[80] == 4 && distanceTables.upper[144] == 12 &&
              distanceTables.upper[192] == 24);
static_assert(distanceTables.upper[240] == 48 && distanceTables.length[239] == 7 &&
              distanceTables.length[240] == 8);

} // namespace

const std::array<uint8_t, 256> HuffBitReader::distanceUpper = distanceTables.upper;
const std::array<uint8_t, 256> HuffBitReader::distanceCodeLength = distanceTables.length;

HuffBitReader::HuffBitReader()
    : counts(new (std::nothrow) uint32_t[filler(TopBits + 1)]),
      parents(new (std::nothrow) uint32_t[TreeSize + Symbols + 1]),
      children(new (std::nothrow) uint32_t[TreeSize]), topTable(new (std::nothrow) TopEntry[1u << TopBits]),
      topDepth(new (std::nothrow) uint8_t[TreeSize]), topPrefix(new (std::nothrow) uint8_t[TreeSize]) {
    if (isUsable())
        initialModel();
}

void HuffBitReader::reset(StreamIO *newSource) {
    source = newSource;
    bitBuffer = 0;
    bitCount = 0;
    fillerBits = 0;
    initialModel();
}

void HuffBitReader::initialModel() {
    for (int s = 0; s < Symbols; ++s) {
        counts[s] = 1;
        children[s] = s + TreeSize;
        parents[s + TreeSize] = s;
    }
    for (int i = 0, j = Symbols; j <= Root; i += 2, ++j) {
        counts[j] = counts[i] + counts[i + 1];
        children[j] = i;
        parents[i] = parents[i + 1] = j;
    }
    for (int i = TreeSize; i < TreeSize + Sentinels; ++i)
        counts[i] = 0xFFFF;
    for (int i = 1; i <= int(TopBits); ++i) {
        counts[filler(i)] = 0;
        counts[filler(i) + 1] = 0xFFFFFFFF;
    }
    parents[Root] = 0;
    topTableCurrent = false;
}

// Raises the count of every node from the symbol's leaf up to the root. A node whose new count
// passes its right neighbour's first trades places with the last node of its old count, so the
// counts stay in order.
void HuffBitReader::updateModel(int symbol) {
    if (counts[Root] == FrequencyLimit)
        rebuildTree();
    int leaf = parents[symbol + TreeSize];
    unsigned k = ++counts[leaf];
    if (k > counts[leaf + 1])
        leaf = raiseAndMove(leaf, k);
    raiseAncestors(leaf);
}

void HuffBitReader::tradeAndRaiseAncestors(int node, unsigned raisedCount) {
    raiseAncestors(raiseAndMove(node, raisedCount));
}

// Raises the counts above a node that has just been raised, by parent links up to the root.
inline void HuffBitReader::raiseAncestors(int node) {
    uint32_t *count = counts.get();
    const uint32_t *parent = parents.get();
    for (uint32_t c = parent[node]; c != 0; c = parent[c]) {
        unsigned k = ++count[c];
        if (k > count[c + 1])
            c = uint32_t(raiseAndMove(int(c), k));
    }
}

// How many of the ScanWidth counts after `from` are below k. The counts are in order, so these
// are the first ones; the sentinels end the last group.
inline int HuffBitReader::countBelow(const uint32_t *count, int from, unsigned k) {
#if defined(__SSE2__)
    // Counts and k are below 2^31, so the signed comparison is right.
    static_assert(ScanWidth == 16);
    const __m128i key = _mm_set1_epi32(int(k));
    auto below4 = [&](int at) {
        return _mm_cmplt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(count + from + 1 + at)),
                               key);
    };
    __m128i low = _mm_packs_epi32(below4(0), below4(4));
    __m128i high = _mm_packs_epi32(below4(8), below4(12));
    auto mask = unsigned(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
    return std::countr_one(mask);
#else
    int below = 0;
    for (int m = 1; m <= ScanWidth; ++m)
        below += count[from + m] < k;
    return below;
#endif
}

// Node c's count has just become k, above its right neighbour's. Swaps it with the last node whose
// count is below k and returns c's new place. Kept out of line: trades are the exception, and the
// loops that call it run faster small.
__attribute__((noinline)) int HuffBitReader::raiseAndMove(int c, unsigned k) {
    uint32_t *count = counts.get();
    uint32_t *parent = parents.get();
    uint32_t *child = children.get();
    // Those below k to the right are the nodes to pass. Looking at them in groups, without a
    // branch per node, avoids most mispredicted loop exits.
    int l = c;
    int below;
    do {
        below = countBelow(count, l, k);
        l += below;
    } while (below == ScanWidth);
    count[c] = count[l];
    count[l] = k;
    int i = child[c];
    int j = child[l];
    // The table holds places, not symbols: when two leaves trade, its entries stay as they are.
    bool bothLeaves = i >= TreeSize && j >= TreeSize;
    bool refillBelowC = topTableCurrent && !bothLeaves && isInTopLevels(c);
    bool refillBelowL = topTableCurrent && !bothLeaves && isInTopLevels(l);
    child[l] = i;
    child[c] = j;
    // A leaf has one parent entry to fix, an inner node two (its children are siblings); a leaf's
    // second write goes to the spare entry.
    constexpr int Spare = TreeSize + Symbols;
    parent[i] = l;
    parent[i < TreeSize ? i + 1 : Spare] = l;
    parent[j] = c;
    parent[j < TreeSize ? j + 1 : Spare] = c;
    // Neither node lies below the other (a node's ancestors all weigh more), so the two groups
    // of entries are apart.
    if (refillBelowC)
        refillTopTable(c);
    if (refillBelowL)
        refillTopTable(l);
    return l;
}

void HuffBitReader::rebuildTree() {
    // Gather the leaves in node order with their counts halved, rounded up.
    int j = 0;
    for (int i = 0; i < TreeSize; ++i) {
        if (children[i] >= TreeSize) {
            counts[j] = (counts[i] + 1) / 2;
            children[j] = children[i];
            ++j;
        }
    }
    // Pair the two lightest remaining nodes and insert their parent where its count keeps the order.
    for (int i = 0, node = Symbols; node < TreeSize; i += 2, ++node) {
        uint32_t f = counts[i] + counts[i + 1];
        counts[node] = f;
        int k = node - 1;
        while (f < counts[k])
            --k;
        ++k;
        size_t moved = size_t(node - k);
        std::memmove(counts.get() + k + 1, counts.get() + k, moved * sizeof counts[0]);
        std::memmove(children.get() + k + 1, children.get() + k, moved * sizeof children[0]);
        counts[k] = f;
        children[k] = i;
    }
    for (int i = 0; i < TreeSize; ++i) {
        int k = children[i];
        if (k >= TreeSize) {
            parents[k] = i;
        } else {
            parents[k] = parents[k + 1] = i;
        }
    }
    topTableCurrent = false;
}

void HuffBitReader::buildTopTable() {
    std::memset(topDepth.get(), TopBits, TreeSize);
    std::memset(topPrefix.get(), 0, TreeSize);
    uint32_t path[TopBits + 1] = {};
    fillTopTable(Root, 0, 0, path);
    topTableCurrent = true;
}

// Whether the table was filled from the node's children: true when an entry below the node's
// recorded place passes through the node there.
bool HuffBitReader::isInTopLevels(int node) const {
    unsigned depth = topDepth[node];
    if (depth >= TopBits)
        return false;
    const TopEntry &entry = topTable[unsigned(topPrefix[node]) << (TopBits - depth)];
    return int32_t(depth) <= entry.bitsTaken && entry.path[depth] == uint32_t(node);
}

// Fills again the entries below a node of the upper levels whose children have just changed.
void HuffBitReader::refillTopTable(int node) {
    unsigned depth = topDepth[node];
    unsigned prefix = topPrefix[node];
    uint32_t path[TopBits + 1];
    // The nodes above it are unchanged; any of its entries has them.
    std::memcpy(path, topTable[prefix << (TopBits - depth)].path, sizeof path);
    fillTopTable(node, depth, prefix, path);
}

// Fills the entries of every bit string that starts with the `depth` bits of `prefix`, which lead
// from the root to `node` through `path`.
void HuffBitReader::fillTopTable(int node, unsigned depth, unsigned prefix, uint32_t *path) {
    if (depth < TopBits) {
        topDepth[node] = uint8_t(depth);
        topPrefix[node] = uint8_t(prefix);
    }
    path[depth] = node;
    if (depth == TopBits || children[node] >= TreeSize) {
        for (unsigned i = depth + 1; i <= TopBits; ++i)
            path[i] = filler(int(i));
        unsigned free = TopBits - depth;
        for (unsigned low = 0; low < 1u << free; ++low) {
            TopEntry &entry = topTable[prefix << free | low];
            std::memcpy(entry.path, path, sizeof entry.path);
            entry.bitsTaken = int32_t(depth);
        }
        return;
    }
    int firstChild = children[node];
    fillTopTable(firstChild, depth + 1, prefix << 1, path);
    fillTopTable(firstChild + 1, depth + 1, prefix << 1 | 1, path);
}

HuffBitReader::MemoryBits::MemoryBits(HuffBitReader &reader, MemRWStream &memory, const uint8_t *bytes)
    : reader(&reader), memory(&memory), next(bytes), start(bytes), buffer(reader.bitBuffer),
      count(reader.bitCount), filler(reader.fillerBits), countAtStart(reader.bitCount),
      positionAtStart(memory.getPosition()) {
    int32_t available = memory.size() - positionAtStart;
    end = bytes + (available > 0 ? available : 0);
}

void HuffBitReader::MemoryBits::finish() {
    // A byte-by-byte reader holds nine bits before each bit it takes, and the last bit taken was a
    // single one (of a code word or of a distance's low bits): it read just enough bytes for that.
    int64_t consumed = int64_t(countAtStart) + 8 * bytesTaken - count;
    int64_t bytesRead = 0;
    if (consumed > 0) {
        int64_t needed = consumed + 8 - int64_t(countAtStart);
        bytesRead = needed > 0 ? (needed + 7) / 8 : 0;
    }
    // Past the bytes it would have read every one and then failed on the next.
    int64_t available = end - start;
    memory->settleAfterInPlaceReads(positionAtStart + int32_t(std::min(bytesRead, available)),
                                    bytesRead > available);
    unsigned held = unsigned(int64_t(countAtStart) + 8 * bytesRead - consumed);
    reader->bitBuffer = held ? buffer & ~(~uint64_t(0) >> held) : 0;
    reader->bitCount = held;
    // The held bits are the last ones read; those of bytes read past the end are filler.
    int64_t missing = 8 * std::max<int64_t>(bytesRead - available, 0);
    reader->fillerBits = unsigned(std::min<int64_t>(held, missing));
}

} // namespace qarvex
