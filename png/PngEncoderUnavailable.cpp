// The PNG encoder and decoder of a build without libpng for its target: every picture is refused, with why.
#include <qarvex/png/Picture.h>

namespace qarvex {

namespace png {

bool encodePng(const Picture &, std::vector<uint8_t> &, std::string &error) {
    error = "this build of qarvex has no PNG library";
    return false;
}

bool decodePng(const uint8_t *, size_t, DecodedPicture &, std::string &error) {
    error = "this build of qarvex has no PNG library";
    return false;
}

} // namespace png

} // namespace qarvex
