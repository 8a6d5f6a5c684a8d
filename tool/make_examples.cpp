// qarvex_make_examples <directory>: writes the example volumes into directory (examples/).
#include "tool/ExampleVolumes.h"

#include <cstdio>
#include <string>

using namespace qarvex;

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qarvex_make_examples <directory>\n");
        return 2;
    }
    std::string directory = std::string(argv[1]) + "/";
    struct Output {
        const char *name;
        VolumeBuilder volume;
        VolumeBuilder::Variant variant;
    } outputs[] = {
        {examples::DemoFileName, examples::demoVolume(), VolumeBuilder::Variant::PVOL},
        {examples::OldDemoFileName, examples::oldDemoVolume(), VolumeBuilder::Variant::OldVOL},
    };
    for (const Output &output : outputs) {
        std::string path = directory + output.name;
        if (!output.volume.writeFile(path.c_str(), output.variant)) {
            std::fprintf(stderr, "qarvex_make_examples: %s: cannot write\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
