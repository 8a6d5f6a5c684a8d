// The resource kind registry and the extension code.
#include <qarvex/resource/ResourceType.h>

#include <cstring>

namespace qarvex {

namespace {

// Constant-initialised, so kinds built by any start-up code find it ready.
constinit ResourceType *registry = nullptr;

unsigned char lowerCase(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
}

} // namespace

uint32_t extensionCode(const char *text) {
    uint32_t code = ResourceType::NoExtension;
    if (!text)
        return code;
    const char *dot = std::strrchr(text, '.');
    if (!dot)
        return code;
    const char *at = dot + 1;
    for (int byte = 0; byte < 4 && at[byte] != '\0'; ++byte) {
        code &= ~(0xFFu << (8 * byte));
        code |= uint32_t(lowerCase(uint8_t(at[byte]))) << (8 * byte);
    }
    return code;
}

ResourceType::ResourceType(const char *extension, int32_t kindParam)
    : key(extensionCode(extension)), param(kindParam), next(registry) {
    registry = this;
}

ResourceType *ResourceType::registryHead() {
    return registry;
}

} // namespace qarvex
