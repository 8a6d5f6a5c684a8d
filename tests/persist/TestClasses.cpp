// The factories of the persistence tests' classes, registered for the whole test program.
#include "TestClasses.h"

namespace qarvex {

namespace testclasses {
namespace {

Persistent::TaggedClass<Point> pointClass("TestPoint", PointTag);
Persistent::TaggedClass<Flag> flagClass("TestFlag", FlagTag);
Persistent::TaggedClass<Indexed> indexedClass("TestIndexed", IndexedTag, IndexedIndex);
Persistent::TaggedClass<Group> groupClass("TestGroup", GroupTag);
Persistent::TaggedClass<Sealed> sealedClass("TestSealed", SealedTag);

} // namespace

Persistent::AbstractTaggedClass *pointFactory() {
    return &pointClass;
}
Persistent::AbstractTaggedClass *flagFactory() {
    return &flagClass;
}
Persistent::AbstractTaggedClass *indexedFactory() {
    return &indexedClass;
}
Persistent::AbstractTaggedClass *groupFactory() {
    return &groupClass;
}
Persistent::AbstractTaggedClass *sealedFactory() {
    return &sealedClass;
}

} // namespace testclasses

} // namespace qarvex
