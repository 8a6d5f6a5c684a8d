// EntryReader: entries of a mapped volume decoded with streams of its own.
#include <qarvex/volume/EntryReader.h>

namespace qarvex {

EntryReader::EntryReader() : decoders(EntryMethod::all().size()) {}

EntryReader::~EntryReader() {
    close();
}

StreamIO *EntryReader::attach(const EntryMethod &method, std::span<const uint8_t> stored, MemRWStream &memory,
                              DecodingRStream *decoder) {
    if (method.makeDecoder && !decoder)
        return nullptr;
    // The region is only read: neither the decoders nor a reader of a stored entry write to it.
    memory.attach(int32_t(stored.size()), const_cast<uint8_t *>(stored.data()));
    if (!decoder)
        return &memory;
    decoder->attach(&memory);
    return decoder;
}

bool EntryReader::open(const VolumeStream &volume, const VolumeItem &item) {
    close();
    const EntryMethod *method = VolumeStream::method(item);
    if (!method || !volume.dataInsideFile(item))
        return false;
    DecodingRStream *decoder = nullptr;
    if (method->makeDecoder) {
        std::unique_ptr<DecodingRStream> &made = decoders[size_t(method - EntryMethod::all().data())];
        if (!made)
            made = method->makeDecoder();
        decoder = made.get();
    }
    current = attach(*method, volume.storedData(item), memory, decoder);
    return current && current->getStatus() == StreamIO::Ok;
}

bool EntryReader::read(int32_t count, void *buffer) {
    // Counts come from entry sizes, which come from the file: a negative one reads nothing.
    return current && count >= 0 && current->read(count, buffer);
}

void EntryReader::close() {
    if (current)
        current->close();
    current = nullptr;
}

} // namespace qarvex
