// Persistent base classes, the class registry and the factories' common behaviour.
#include <qarvex/persist/Persistent.h>

#include <qarvex/core/LittleEndian.h>
#include <qarvex/persist/PersistentStream.h>
#include <qarvex/stream/StreamIO.h>

#include <cstdio>
#include <cstring>

namespace qarvex {

namespace Persistent {

namespace {

// Constant-initialised, so factories built by any start-up code find them ready.
constinit AbstractTaggedClass *taggedList = nullptr;
constinit AbstractTaggedClass *indexTable[IndexTableSize] = {};
constinit AbstractRecognizer *recognizers = nullptr;

// The table slot a factory takes: its tag when that is small, else its index, else none (0).
int32_t slotFor(const AbstractTaggedClass *factory) {
    if (factory->tag >= 1 && factory->tag < uint32_t(IndexTableSize))
        return int32_t(factory->tag);
    if (factory->index >= 1 && factory->index < IndexTableSize)
        return factory->index;
    return 0;
}

unsigned char upperCase(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}

bool sameNameIgnoringCase(const char *a, const char *b) {
    for (;; ++a, ++b) {
        if (upperCase(uint8_t(*a)) != upperCase(uint8_t(*b)))
            return false;
        if (*a == '\0')
            return true;
    }
}

} // namespace

int32_t Base::read(StreamIO *, int32_t, int32_t) {
    return Ok;
}
int32_t Base::write(StreamIO *, int32_t, int32_t) {
    return Ok;
}
int32_t Base::version() {
    return 0;
}
int32_t Base::readVersion(StreamIO *, int32_t &status) {
    status = Ok;
    return 0;
}
int32_t Base::writeVersion(StreamIO *) {
    return Ok;
}
AbstractTaggedClass *Base::getClass() {
    return nullptr;
}
Base::~Base() = default;

int32_t VersionedBase::readVersion(StreamIO *stream, int32_t &status) {
    uint8_t bytes[4];
    if (!readFully(stream, 4, bytes)) {
        status = ReadFailed;
        return 0;
    }
    status = Ok;
    return int32_t(le::read32(bytes));
}

int32_t VersionedBase::writeVersion(StreamIO *stream) {
    uint8_t bytes[4];
    le::write32(bytes, uint32_t(version()));
    return stream->write(4, bytes) ? Ok : WriteFailed;
}

AbstractClass::AbstractClass(const char *className) {
    name[0] = '\0';
    size_t length = className ? std::strlen(className) : 0;
    if (length < size_t(NameCapacity) && className)
        std::memcpy(name, className, length + 1);
}

AbstractTaggedClass::AbstractTaggedClass(const char *className, uint32_t classTag, int32_t classIndex)
    : AbstractClass(className), tag(classTag), index(classIndex) {
    // A name that did not fit could never be matched, so such a class is not registered.
    if (className && name[0] == '\0' && className[0] != '\0')
        return;
    registerClass(this);
}

AbstractTaggedClass::~AbstractTaggedClass() {
    unregisterClass(this);
}

bool AbstractTaggedClass::isRegistered() const {
    for (const AbstractTaggedClass *factory = taggedList; factory; factory = factory->next)
        if (factory == this)
            return true;
    return false;
}

void printFactoryLine(const AbstractTaggedClass &factory) {
    std::printf("%8d %s\n", int32_t(factory.tag), factory.name);
}

void registerClass(AbstractTaggedClass *factory) {
    if (!factory || factory->isRegistered())
        return;
    if (!taggedList)
        for (auto &slot : indexTable)
            slot = nullptr;
    if (int32_t slot = slotFor(factory))
        indexTable[slot] = factory; // a later factory with the same slot replaces the earlier
    factory->next = taggedList;
    taggedList = factory;
}

void unregisterClass(AbstractTaggedClass *factory) {
    if (!factory || !factory->isRegistered())
        return;
    // The slot is cleared whoever holds it: an earlier factory with the same slot is not
    // brought back.
    if (int32_t slot = slotFor(factory))
        indexTable[slot] = nullptr;
    for (AbstractTaggedClass **link = &taggedList; *link; link = &(*link)->next) {
        if (*link == factory) {
            *link = factory->next;
            break;
        }
    }
    factory->next = nullptr;
}

AbstractTaggedClass *taggedClassList() {
    return taggedList;
}

AbstractTaggedClass *indexTableSlot(int32_t slot) {
    return (slot >= 1 && slot < IndexTableSize) ? indexTable[slot] : nullptr;
}

Base *createByName(const char *className) {
    if (!className)
        return nullptr;
    for (AbstractTaggedClass *factory = taggedList; factory; factory = factory->next)
        if (sameNameIgnoringCase(factory->name, className))
            return factory->create();
    return nullptr;
}

Base *createByTag(uint32_t value) {
    if (value >= 1 && value < uint32_t(IndexTableSize)) {
        AbstractTaggedClass *factory = indexTable[value];
        return factory ? factory->create() : nullptr;
    }
    for (AbstractTaggedClass *factory = taggedList; factory; factory = factory->next)
        if (factory->tag == value)
            return factory->create();
    return nullptr;
}

void registerRecognizer(AbstractRecognizer *recognizer) {
    for (AbstractRecognizer *entry = recognizers; entry; entry = entry->next)
        if (entry == recognizer)
            return;
    if (!recognizer)
        return;
    recognizer->next = recognizers;
    recognizers = recognizer;
}

void unregisterRecognizer(AbstractRecognizer *recognizer) {
    for (AbstractRecognizer **link = &recognizers; *link; link = &(*link)->next) {
        if (*link == recognizer) {
            *link = recognizer->next;
            recognizer->next = nullptr;
            return;
        }
    }
}

AbstractRecognizer *recognizerList() {
    return recognizers;
}

} // namespace Persistent

} // namespace qarvex
