// Reading and writing persistent object blocks.
#include <qarvex/persist/PersistentStream.h>

#include <qarvex/stream/BlockStream.h>
#include <qarvex/stream/MemRWStream.h>

#include <cstring>

namespace qarvex {

namespace Persistent {

namespace {

Vector<void *> *readTable = nullptr;
Vector<void *> *writtenTable = nullptr;

bool isSmallSlot(uint32_t value) {
    return value >= 1 && value < uint32_t(IndexTableSize);
}

// Leaves stream just after the block that starts at blockStart. Closing the block stream
// already does this unless something else (a recognizer) moved the stream meanwhile.
void moveAfterBlock(StreamIO *stream, int32_t blockStart, uint32_t sizeWord) {
    int64_t end = BlockStream::blockEndFor(blockStart, sizeWord);
    if (end > INT32_MAX)
        end = INT32_MAX;
    if (stream->getPosition() != end && stream->query(StreamIO::QueryCanSeek) != 0)
        stream->setPosition(int32_t(end));
}

// Reads a "PERS" block's name and makes an object of that class; status 3 or 6 on failure.
Base *createFromNamedBlock(StreamIO *input, int32_t &status) {
    uint8_t lengthBytes[2];
    if (!readFully(input, 2, lengthBytes)) {
        status = ReadFailed;
        return nullptr;
    }
    int32_t length = int16_t(le::read16(lengthBytes));
    if (length < 0 || length > MaxStoredNameLength) {
        status = NameTooLong;
        return nullptr;
    }
    char className[MaxStoredNameLength + 1];
    if (!readFully(input, (length + 1) & ~1, className)) {
        status = ReadFailed;
        return nullptr;
    }
    className[length] = '\0';
    return createByName(className);
}

// Asks the recognizer list about the data at the block's start; the stream is left where the
// answering entry's recognize left it, or back at blockStart when none answers.
Base *createByContent(StreamIO *stream, int32_t blockStart, int32_t &extra, bool &recognized) {
    recognized = false;
    stream->setPosition(blockStart);
    for (AbstractRecognizer *entry = recognizerList(); entry; entry = entry->next) {
        int32_t before = stream->getPosition();
        if (entry->recognize(stream)) {
            recognized = true;
            extra = entry->extra();
            return entry->create();
        }
        stream->setPosition(before);
    }
    return nullptr;
}

// Closes a block written from blockStart. The padding is written as zeros: a seekable stream
// would otherwise keep whatever bytes it held there.
void finishBlock(StreamIO *stream, BlockRWStream &block, int32_t blockStart) {
    int32_t dataLength = block.getPosition();
    block.close();
    int32_t padding = dataLength % 2;
    int64_t end = int64_t(blockStart) + BlockStream::HeaderSize + dataLength + padding;
    if (padding && stream->getStatus() == StreamIO::Ok && stream->getPosition() == end) {
        const uint8_t zero = 0;
        if (stream->setPosition(int32_t(end - 1)))
            stream->write(1, &zero);
    }
}

} // namespace

bool readFully(StreamIO *stream, int32_t count, void *buffer) {
    if (count <= 0)
        return count == 0;
    std::memset(buffer, 0, size_t(count));
    if (!stream->read(count, buffer))
        return false;
    // A block stream delivers what is left before its data end and still answers true.
    return !(stream->getStatus() == StreamIO::EndOfData && stream->getLastCount() < count);
}

void setReferenceTable(Vector<void *> *table) {
    readTable = table;
}
Vector<void *> *referenceTable() {
    return readTable;
}
void setWriteTable(Vector<void *> *table) {
    writtenTable = table;
}
Vector<void *> *writeTable() {
    return writtenTable;
}

Base *readObject(StreamIO *stream, int32_t &status) {
    status = Ok;
    if (!stream)
        return nullptr;
    int32_t blockStart = stream->getPosition();
    BlockRStream block;
    if (!block.openAny(stream) || block.getStatus() != StreamIO::Ok)
        return nullptr;
    const uint32_t sizeWord = block.blockSize;

    // A data length of 0 would leave the block unbounded, and the object would take whatever
    // follows the block as its own; such a block is read as holding no data.
    static uint8_t nothing;
    MemRWStream noData;
    noData.attach(0, &nothing);
    StreamIO *input = block.dataLength() == 0 ? static_cast<StreamIO *>(&noData) : &block;

    if (block.blockId == ReferenceBlockTag) {
        uint8_t bytes[4];
        bool indexRead = readFully(input, 4, bytes);
        int32_t index = int32_t(le::read32(bytes));
        Base *referenced = nullptr;
        if (indexRead && readTable && index >= 0 && index < readTable->size())
            referenced = static_cast<Base *>((*readTable)[index]);
        else
            status = BadReference;
        block.close();
        moveAfterBlock(stream, blockStart, sizeWord);
        return referenced;
    }

    Base *object =
        block.blockId == NamedBlockTag ? createFromNamedBlock(input, status) : createByTag(block.blockId);
    int32_t extra = 0;
    bool byContent = false;
    if (status == Ok && !object) {
        if (recognizerList())
            object = createByContent(stream, blockStart, extra, byContent);
        if (byContent) {
            block.abandon();
            input = stream;
            if (!object)
                status = ReadFailed; // the recognised class could not be made
        } else {
            status = NoClass;
        }
    }

    Vector<void *> *table = readTable;
    int32_t entry = -1;
    if (table) {
        if (table->append(object))
            entry = table->size() - 1;
        else if (status == Ok)
            status = ReadFailed; // later references would be numbered wrongly
    }

    if (status == Ok) {
        int32_t storedVersion = object->readVersion(input, status);
        if (status == Ok)
            status = object->read(input, storedVersion, extra);
    }
    if (status != Ok && object) {
        delete object;
        object = nullptr;
        // The entry must not keep pointing at the deleted object.
        if (entry >= 0 && entry < table->size())
            (*table)[entry] = nullptr;
    }

    if (!byContent) {
        block.close();
        moveAfterBlock(stream, blockStart, sizeWord);
    }
    return object;
}

int32_t writeReference(StreamIO *stream, int32_t index) {
    if (!stream)
        return WriteFailed;
    BlockRWStream block;
    int32_t blockStart = stream->getPosition();
    if (!block.begin(stream, ReferenceBlockTag, 4))
        return WriteFailed;
    uint8_t bytes[4];
    le::write32(bytes, uint32_t(index));
    bool wrote = block.write(4, bytes);
    finishBlock(stream, block, blockStart);
    return wrote && stream->getStatus() == StreamIO::Ok ? Ok : WriteFailed;
}

int32_t writeObject(StreamIO *stream, Base *object, Framing framing) {
    if (!stream || !object)
        return WriteFailed;
    AbstractTaggedClass *factory = object->getClass();
    if (!factory)
        return NoClass;

    if (Vector<void *> *table = writtenTable) {
        for (int32_t i = 0; i < table->size(); ++i)
            if ((*table)[i] == object)
                return writeReference(stream, i);
    }

    uint32_t blockTag = factory->tag;
    if (framing == Framing::ByName) {
        blockTag = NamedBlockTag;
    } else if (framing == Framing::ByIndex) {
        if (isSmallSlot(factory->tag))
            blockTag = factory->tag;
        else if (isSmallSlot(uint32_t(factory->index)))
            blockTag = uint32_t(factory->index);
        else
            return NoClass;
    }

    BlockRWStream block;
    int32_t blockStart = stream->getPosition();
    if (!block.begin(stream, blockTag))
        return WriteFailed;
    if (Vector<void *> *table = writtenTable; table && !table->append(object)) {
        block.close();
        return WriteFailed;
    }

    int32_t status = Ok;
    if (framing == Framing::ByName) {
        int32_t length = int32_t(std::strlen(factory->name));
        uint8_t lengthBytes[2];
        le::write16(lengthBytes, uint16_t(length));
        char padded[AbstractClass::NameCapacity + 1] = {};
        std::memcpy(padded, factory->name, size_t(length));
        if (!block.write(2, lengthBytes) || !block.write((length + 1) & ~1, padded))
            status = WriteFailed;
    }
    if (status == Ok)
        status = object->writeVersion(&block);
    if (status == Ok)
        status = object->write(&block, 0, 0);
    finishBlock(stream, block, blockStart);
    if (status == Ok && stream->getStatus() != StreamIO::Ok)
        status = WriteFailed;
    return status;
}

} // namespace Persistent

} // namespace qarvex
