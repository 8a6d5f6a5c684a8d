// qarvex_make_graphics_example <directory>: writes the graphics example volume into directory
// (examples/).
#include "tool/GraphicsExample.h"

#include <cstdio>
#include <string>

using namespace qarvex;

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qarvex_make_graphics_example <directory>\n");
        return 2;
    }
    std::string path = std::string(argv[1]) + "/" + examples::GraphicsFileName;
    if (!examples::graphicsVolume().writeFile(path.c_str(), VolumeBuilder::Variant::PVOL)) {
        std::fprintf(stderr, "qarvex_make_graphics_example: %s: cannot write\n", path.c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}
