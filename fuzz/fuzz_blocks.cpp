// Fuzz target for the block streams: the input is both the bytes of a memory region and a script
// of operations on block readers (open, openAny, read, setPosition, close, abandon, strings, nested
// blocks) and on a block writer that starts, writes and finishes blocks in a scratch region. Any
// read or write outside the regions, a pointer handed out beyond them, or a transfer count beyond
// what was asked is a failure.
#include <qarvex/core/LittleEndian.h>
#include <qarvex/stream/BlockStream.h>
#include <qarvex/stream/MemRWStream.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace qarvex;

namespace {

constexpr int ReaderCount = 3;
constexpr int MaxOperations = 400;

void require(bool condition) {
    if (!condition)
        std::abort();
}

bool inside(const void *pointer, const std::vector<uint8_t> &region) {
    auto at = static_cast<const uint8_t *>(pointer);
    return at >= region.data() && at <= region.data() + region.size();
}

void checkStream(StreamIO &stream) {
    int32_t status = stream.getStatus();
    require(status >= StreamIO::Ok && status <= StreamIO::NoSource);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);

    // Exactly sized heap copies, so that the sanitizer sees any byte beyond them.
    std::vector<uint8_t> region = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 4096));
    std::vector<uint8_t> scratch(input.ConsumeIntegralInRange<size_t>(0, 512), 0xEE);

    MemRWStream memory;
    memory.attach(int32_t(region.size()), region.data());
    MemRWStream scratchMemory;
    scratchMemory.attach(int32_t(scratch.size()), scratch.data());
    BlockRStream readers[ReaderCount];
    BlockRWStream writer;

    // An inner stream for reader `index`: the memory regions, or a reader of a lower index, so that
    // blocks nest without ever forming a loop.
    auto innerFor = [&](int index) -> StreamIO * {
        int choice = input.ConsumeIntegralInRange<int>(0, index + 1);
        if (choice == 0)
            return &memory;
        if (choice == 1)
            return &scratchMemory;
        return &readers[choice - 2];
    };
    auto someTag = [&]() -> uint32_t {
        switch (input.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return le::tag("vols");
        case 1:
            return le::tag("voli");
        case 2:
            return region.size() >= 4 ? le::read32(region.data()) : 0;
        default:
            return input.ConsumeIntegral<uint32_t>();
        }
    };

    std::vector<uint8_t> buffer(512);
    for (int step = 0; step < MaxOperations && input.remaining_bytes() > 0; ++step) {
        int index = input.ConsumeIntegralInRange<int>(0, ReaderCount - 1);
        BlockRStream &reader = readers[index];
        switch (input.ConsumeIntegralInRange<int>(0, 15)) {
        case 0:
            reader.openAny(innerFor(index));
            break;
        case 1:
            reader.open(innerFor(index), someTag());
            break;
        case 2:
        case 3: {
            int32_t count = input.ConsumeIntegralInRange<int32_t>(0, int32_t(buffer.size()));
            if (reader.read(count, buffer.data()))
                require(reader.getLastCount() >= 0 && reader.getLastCount() <= count);
            break;
        }
        case 4:
            reader.setPosition(input.ConsumeIntegralInRange<int32_t>(-4, 5000));
            break;
        case 5:
            reader.close();
            require(reader.getStatus() == StreamIO::Closed && !reader.isOpen());
            break;
        case 6:
            reader.abandon();
            require(reader.getStatus() == StreamIO::Closed && !reader.isOpen());
            break;
        case 7: {
            void *pointer = reader.getDataPointer();
            require(!pointer || inside(pointer, region) || inside(pointer, scratch));
            break;
        }
        case 8: {
            char text[256];
            int32_t length = reader.readString(text);
            require(length >= 0 && length <= 255 && text[length] == '\0');
            break;
        }
        case 9:
            memory.setPosition(input.ConsumeIntegralInRange<int32_t>(-2, int32_t(region.size()) + 2));
            break;
        case 10:
            scratchMemory.setPosition(input.ConsumeIntegralInRange<int32_t>(-2, int32_t(scratch.size()) + 2));
            break;
        case 11: {
            uint32_t sizeWord = input.ConsumeBool() ? 0 : input.ConsumeIntegralInRange<uint32_t>(0, 600);
            if (input.ConsumeBool())
                sizeWord |= BlockStream::PadTo4;
            // The writer may also write into a block that a reader has open.
            writer.begin(innerFor(ReaderCount), someTag(), sizeWord);
            break;
        }
        case 12: {
            int32_t count = input.ConsumeIntegralInRange<int32_t>(0, int32_t(buffer.size()));
            if (writer.write(count, buffer.data()))
                require(writer.getLastCount() >= 0 && writer.getLastCount() <= count);
            break;
        }
        case 13:
            writer.close();
            require(writer.getStatus() == StreamIO::Closed && !writer.isOpen());
            break;
        case 14:
            writer.writeString(input.ConsumeBool() ? "a.dat" : nullptr);
            break;
        default:
            reader.flush();
            reader.query(input.ConsumeIntegralInRange<int32_t>(-1, 5));
            reader.getPosition();
            break;
        }
        for (BlockRStream &each : readers)
            checkStream(each);
        checkStream(writer);
        checkStream(memory);
        checkStream(scratchMemory);
    }
    return 0;
}
