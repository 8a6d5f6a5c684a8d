// The entries of the example volumes: a few texts among the kinds of files volumes usually hold.
#include "tool/ExampleVolumes.h"

namespace qarvex {

namespace examples {

namespace {

// The change log's lines repeat themselves, which is what LZH coding is for.
const char ChangeLog[] = "1.0.0  volumes are searched, listed, extracted and tested\n"
                         "1.0.0  volumes are created and updated\n"
                         "1.0.0  graphics entries are turned into PNG pictures\n"
                         "1.0.0  the library is installed as a package for other programs\n";

void addLZH(VolumeBuilder &volume, uint32_t id, const char *name, std::string_view text) {
    VolumeWriter::Entry entry;
    VolumeWriter::makeEntry(id, name, reinterpret_cast<const uint8_t *>(text.data()), text.size(),
                            VolumeWriter::Method::LZH, entry);
    volume.addCoded(id, name, entry.size, entry.compression, std::move(entry.stored));
}

} // namespace

VolumeBuilder demoVolume() {
    VolumeBuilder volume;
    volume.add(1, "ReadMe.txt",
               "This is the demo volume of qarvex.\nTry: qarvex '*.txt' examples/demo.vol\n");
    volume.add(2, "Story.txt", "Once upon a time a volume held a dozen entries.\n");
    volume.add(3, "credits.TXT", "Made by the volume builder of this project.\n");
    volume.add(4, "level01.map", "map 1: 16x16, start at 2,3\n");
    volume.add(5, "level02.map", "map 2: 32x16, start at 1,1\n");
    volume.add(6, "title.pbm", "placeholder bitmap");
    volume.add(7, "sprites.pba", "placeholder bitmap array");
    volume.add(8, "game.ppl", "placeholder palette");
    volume.add(9, "small.pft", "placeholder font");
    volume.add(10, "click.dat", "placeholder sound");
    volume.add(11, "settings.sdt", "volume=7\nmusic=on\n");
    volume.add(12, "notes_v2.txt", "Entry names are matched without regard to letter case.\n");
    addLZH(volume, 13, "changes.log", ChangeLog);
    return volume;
}

VolumeBuilder oldDemoVolume() {
    VolumeBuilder volume;
    volume.add(100, "LEGACY.TXT", "An entry of a volume in the older \" VOL\" layout.\n");
    volume.add(101, "History.txt",
               "Older volumes start their directory with a pair of blocks that readers skip.\n");
    volume.add(102, "intro.dat", "placeholder intro");
    volume.add(103, "menu.pbm", "placeholder menu bitmap");
    volume.add(104, "cursor.pbm", "placeholder cursor bitmap");
    volume.add(105, "icons.pba", "placeholder icons");
    volume.add(106, "base.ppl", "placeholder palette");
    volume.add(107, "large.pft", "placeholder font");
    volume.add(108, "world.map", "map: 64x64\n");
    volume.add(109, "save0.sdt", "slot=0\n");
    volume.add(110, "save1.sdt", "slot=1\n");
    volume.add(111, "todo.txt", "- nothing left to do\n");
    return volume;
}

} // namespace examples

} // namespace qarvex
