// HuffBitReader: the adaptive Huffman model (initial tree, count updates that keep the sibling
// order, periodic halving) and the fixed distance code tables.
#include "stream/HuffBitReader.h"
#include "stream/MemRWStream.h"

#include <array>
#include <cstring>
#include <new>

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
static_assert(distanceTables.upper[255] == 63 && distanceTables.upper[31] == 0 && distanceTables.upper[32] == 1);
static_assert(distanceTables.upper[80] == 4 && distanceTables.upper[144] == 12 && distanceTables.upper[192] == 24);
static_assert(distanceTables.upper[240] == 48 && distanceTables.length[239] == 7 && distanceTables.length[240] == 8);

} // namespace

const std::array<uint8_t, 256> HuffBitReader::distanceUpper = distanceTables.upper;
const std::array<uint8_t, 256> HuffBitReader::distanceCodeLength = distanceTables.length;

HuffBitReader::HuffBitReader()
    : counts(new(std::nothrow) uint16_t[TreeSize + 1]), parents(new(std::nothrow) int16_t[TreeSize + Symbols]),
      children(new(std::nothrow) int16_t[TreeSize]) {
    if (isUsable())
        initialModel();
}

HuffBitReader::~HuffBitReader() {
    delete[] counts;
    delete[] parents;
    delete[] children;
}

void HuffBitReader::reset(StreamIO *newSource) {
    source = newSource;
    bitBuffer = 0;
    bitCount = 0;
    initialModel();
}

void HuffBitReader::initialModel() {
    for (int s = 0; s < Symbols; ++s) {
        counts[s] = 1;
        children[s] = int16_t(s + TreeSize);
        parents[s + TreeSize] = int16_t(s);
    }
    for (int i = 0, j = Symbols; j <= Root; i += 2, ++j) {
        counts[j] = uint16_t(counts[i] + counts[i + 1]);
        children[j] = int16_t(i);
        parents[i] = parents[i + 1] = int16_t(j);
    }
    counts[TreeSize] = 0xFFFF;
    parents[Root] = 0;
}

namespace {

// The last node from `from` on whose count is below `k`. The counts never decrease with the node
// index and the sentinel stops every search, so a short linear look followed by a galloping
// search finds the same node as a plain scan while long runs of equal counts cost only a few
// probes.
inline int lastNodeBelow(const uint16_t *counts, int from, unsigned k) {
    int l = from;
    for (int step = 0; step < 4; ++step) {
        if (k <= counts[l + 1])
            return l;
        ++l;
    }
    // counts[l] < k here; gallop to a node whose count is at least k, then bisect.
    int low = l;
    int span = 4;
    int high = l + span;
    while (high < HuffBitReader::TreeSize && counts[high] < k) {
        low = high;
        span *= 2;
        high = low + span;
    }
    if (high > HuffBitReader::TreeSize)
        high = HuffBitReader::TreeSize; // the sentinel
    while (high - low > 1) {
        int middle = low + (high - low) / 2;
        if (counts[middle] < k)
            low = middle;
        else
            high = middle;
    }
    return low;
}

} // namespace

// Raises the count of node c, which must move: it trades places with the last node whose count is
// below the new one, so the counts stay in order. Returns c's new place.
int HuffBitReader::raiseAndMove(int c, unsigned k) {
    uint16_t *count = counts;
    int16_t *parent = parents;
    int16_t *child = children;
    int l = lastNodeBelow(count, c + 1, k);
    count[c] = count[l];
    count[l] = uint16_t(k);
    int i = child[c];
    parent[i] = int16_t(l);
    if (i < TreeSize)
        parent[i + 1] = int16_t(l);
    int j = child[l];
    child[l] = int16_t(i);
    parent[j] = int16_t(c);
    if (j < TreeSize)
        parent[j + 1] = int16_t(c);
    child[c] = int16_t(j);
    return l;
}

void HuffBitReader::updateModel(int symbol) {
    if (counts[Root] == FrequencyLimit)
        rebuildTree();
    int c = parents[symbol + TreeSize];
    do {
        unsigned k = ++counts[c];
        if (k > counts[c + 1])
            c = raiseAndMove(c, k);
        c = parents[c];
    } while (c != 0);
}

// Finishes an update whose counts decodeSymbol raised along the whole path, `node` being the
// deepest one that must move. The nodes below it are done. After the move the chain of parents
// from the node's new place joins the old path at some ancestor; the raises of old ancestors
// below that point are taken back, and the new chain below it is raised as updateModel would.
// If no other node on the path had to move, everything from the joining ancestor up is done.
void HuffBitReader::settleMove(int node, unsigned movesOnPath) {
    uint16_t *count = counts;
    const int16_t *parent = parents;
    int raised = parent[node]; // lowest ancestor still carrying a raise of its own
    int c = parent[raiseAndMove(node, count[node])];
    if (movesOnPath == 1) {
        for (;;) {
            while (raised < c) {
                --count[raised];
                raised = parent[raised];
            }
            if (raised == c)
                return;
            unsigned k = ++count[c];
            // The only raised node that can sit right above c is the lowest one.
            if (k > count[c + 1] - unsigned(raised == c + 1))
                break;
            c = parent[c];
        }
        // Another move below the joining point: take back the remaining raises first, so that
        // the search for its new place sees the counts as updateModel would.
        for (; raised != 0; raised = parent[raised])
            --count[raised];
        c = parent[raiseAndMove(c, count[c])];
    } else {
        for (; raised != 0; raised = parent[raised])
            --count[raised];
    }
    while (c != 0) {
        unsigned k = ++count[c];
        if (k > count[c + 1])
            c = raiseAndMove(c, k);
        c = parent[c];
    }
}

namespace {

uint64_t loadBigEndian64(const uint8_t *p) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value = value << 8 | p[i];
    return value;
}

} // namespace

HuffBitReader::MemoryBits::MemoryBits(HuffBitReader &reader, MemRWStream &memory, const uint8_t *bytes)
    : reader(reader), memory(memory), next(bytes), start(bytes), buffer(reader.bitBuffer), count(reader.bitCount),
      countAtStart(reader.bitCount) {
    positionAtStart = memory.getPosition();
    int32_t available = memory.size() - positionAtStart;
    end = bytes + (available > 0 ? available : 0);
}

void HuffBitReader::MemoryBits::refill() {
    if (end - next >= 8) {
        // Whole bytes up to 56 pending bits; the bits below are those of the following bytes,
        // which the next refill ORs in again unchanged.
        buffer |= loadBigEndian64(next) >> count;
        unsigned taken = (63 - count) >> 3;
        next += taken;
        bytesTaken += taken;
        count += taken * 8;
        return;
    }
    while (count <= 56) {
        uint64_t byte = next < end ? *next++ : 0;
        buffer |= byte << (56 - count);
        count += 8;
        ++bytesTaken;
    }
}

void HuffBitReader::MemoryBits::finish() {
    // A byte-by-byte reader holds nine bits before each bit it takes, and the last bit taken was a
    // single one (a code word or a distance's low bits): it read just enough bytes for that.
    int64_t consumed = int64_t(countAtStart) + 8 * bytesTaken - count;
    int64_t bytesRead = 0;
    if (consumed > 0) {
        int64_t needed = consumed + 8 - int64_t(countAtStart);
        bytesRead = needed > 0 ? (needed + 7) / 8 : 0;
    }
    int64_t available = end - start;
    if (bytesRead <= available) {
        memory.setPosition(positionAtStart + int32_t(bytesRead));
    } else {
        // It would have read every byte and then failed on the next one.
        memory.setPosition(positionAtStart + int32_t(available));
        uint8_t ignored;
        memory.read(1, &ignored);
    }
    unsigned held = unsigned(int64_t(countAtStart) + 8 * bytesRead - consumed);
    reader.bitBuffer = held ? buffer & ~(~uint64_t(0) >> held) : 0;
    reader.bitCount = held;
}

void HuffBitReader::rebuildTree() {
    // Gather the leaves in node order with their counts halved, rounded up.
    int j = 0;
    for (int i = 0; i < TreeSize; ++i) {
        if (children[i] >= TreeSize) {
            counts[j] = uint16_t((counts[i] + 1) / 2);
            children[j] = children[i];
            ++j;
        }
    }
    // Pair the two lightest remaining nodes and insert their parent where its count keeps the order.
    for (int i = 0, node = Symbols; node < TreeSize; i += 2, ++node) {
        unsigned f = unsigned(counts[i]) + counts[i + 1];
        counts[node] = uint16_t(f);
        int k = node - 1;
        while (f < counts[k])
            --k;
        ++k;
        size_t moved = size_t(node - k);
        std::memmove(counts + k + 1, counts + k, moved * sizeof *counts);
        std::memmove(children + k + 1, children + k, moved * sizeof *children);
        counts[k] = uint16_t(f);
        children[k] = int16_t(i);
    }
    for (int i = 0; i < TreeSize; ++i) {
        int k = children[i];
        if (k >= TreeSize) {
            parents[k] = int16_t(i);
        } else {
            parents[k] = parents[k + 1] = int16_t(i);
        }
    }
}
