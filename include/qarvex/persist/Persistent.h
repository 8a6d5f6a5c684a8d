// Persistent objects and their class factories: every persistent class has one static factory
// that registers itself under a four-character tag, an optional small index and the class
// name, so that an object can be rebuilt from a stream without the reader knowing its class.
// Threads: the factory list is process-wide and not locked; register, look up and build objects from one
// thread at a time.
#pragma once

#include <cstdint>
#include <new>

namespace qarvex {

class StreamIO;

namespace Persistent {

// Persistence status: 0 for success; a class's read may return further codes of its own.
enum Status : int32_t {
    Ok = 0,
    NoClass = 2,      // no class found for a block (by tag, by name or by content)
    ReadFailed = 3,   // a read failed or ran short, or memory for the data was not available
    WriteFailed = 4,  // a write failed, or the class cannot read or write its data at all
    NameTooLong = 6,  // a named block's class name is longer than 128 bytes or negative
    BadReference = 7, // a reference block's index could not be read or names no entry
};

class AbstractTaggedClass;

class Base {
public:
    Base() = default;
    Base(const Base &) = default;
    Base &operator=(const Base &) = default;

    // The body, after the version; returns a persistence status.
    virtual int32_t read(StreamIO *stream, int32_t version, int32_t extra);
    virtual int32_t write(StreamIO *stream, int32_t unused1, int32_t unused2);
    // The class's current format version.
    virtual int32_t version();
    // The stored version; status becomes 0, or 3 when it could not be read.
    virtual int32_t readVersion(StreamIO *stream, int32_t &status);
    virtual int32_t writeVersion(StreamIO *stream);
    // The object's factory, or null.
    virtual AbstractTaggedClass *getClass();
    // Objects are deleted through Base pointers.
    virtual ~Base();
};

// Stores the version as a little-endian 32-bit value in front of the body.
class VersionedBase : public Base {
public:
    int32_t readVersion(StreamIO *stream, int32_t &status) override;
    int32_t writeVersion(StreamIO *stream) override;
};

class AbstractClass {
public:
    static constexpr int32_t NameCapacity = 128;

    AbstractClass(const AbstractClass &) = delete;
    AbstractClass &operator=(const AbstractClass &) = delete;

    // A new default-constructed object of the class, or null when memory ran out.
    virtual Base *create() = 0;
    // One line describing the factory, on standard output.
    virtual void print() = 0;
    virtual void classHook() = 0;
    virtual ~AbstractClass() = default;

    // The class name with its terminator; empty when the given name was too long to keep.
    char name[NameCapacity];

protected:
    explicit AbstractClass(const char *className);
};

class AbstractTaggedClass : public AbstractClass {
public:
    // Registers the factory (see registerClass) unless its name does not fit.
    AbstractTaggedClass(const char *className, uint32_t tag, int32_t index);
    // Unregisters it.
    ~AbstractTaggedClass() override;

    bool isRegistered() const;

    AbstractTaggedClass *next = nullptr; // registered before this one
    uint32_t tag;                        // first character in the least significant byte
    int32_t index;                       // optional small identifier, 0 for none
};

// Writes the line that TaggedClass::print shows for factory.
void printFactoryLine(const AbstractTaggedClass &factory);

template <typename T> class TaggedClass : public AbstractTaggedClass {
public:
    TaggedClass(const char *className, uint32_t tag, int32_t index = 0)
        : AbstractTaggedClass(className, tag, index) {}

    Base *create() override { return new (std::nothrow) T; }
    // "%8d %s\n" with the tag as a signed number and the name.
    void print() override { printFactoryLine(*this); }
    void classHook() override {}
};

// The class registry. Table slots 1 to 2047 hold the factory whose tag, or else whose index,
// is that small number; slot 0 is never used.
constexpr int32_t IndexTableSize = 2048;

void registerClass(AbstractTaggedClass *factory);
void unregisterClass(AbstractTaggedClass *factory);
// The most recently registered factory; walk on through next.
AbstractTaggedClass *taggedClassList();
AbstractTaggedClass *indexTableSlot(int32_t slot);

// A new object of the first registered class whose name equals name ignoring case, or null.
Base *createByName(const char *name);
// A new object of the class in table slot value (1 to 2047), or else of the first class whose
// tag is value; null when there is none.
Base *createByTag(uint32_t value);

// An entry of the recognizer list: a class that knows its data by content rather than by a
// block tag. The reader asks each entry in turn, newest first.
class AbstractRecognizer {
public:
    AbstractRecognizer() = default;
    AbstractRecognizer(const AbstractRecognizer &) = delete;
    AbstractRecognizer &operator=(const AbstractRecognizer &) = delete;

    // Looks at the stream's data (it may move the stream) and answers whether it is ours.
    virtual bool recognize(StreamIO *stream) = 0;
    // Handed to the new object's read.
    virtual int32_t extra() { return 0; }
    virtual Base *create() = 0;

    virtual ~AbstractRecognizer() = default;

    AbstractRecognizer *next = nullptr;
};

void registerRecognizer(AbstractRecognizer *recognizer);
void unregisterRecognizer(AbstractRecognizer *recognizer);
AbstractRecognizer *recognizerList();

} // namespace Persistent

} // namespace qarvex
