// qarvex.open, Volume and Entry: a volume file held open, its entries with names as text (and as
// the stored bytes), the tool's matching, decoding and extraction.
#include "python/Bindings.h"

#include "tool/Commands.h"
#include "tool/EntryDecoder.h"
#include "tool/JsonReport.h"
#include "tool/NameText.h"
#include "tool/VolumeWalk.h"
#include <qarvex/volume/VolumeRStream.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace qarvex::python {

namespace {

struct Entry {
    int32_t position = 0;
    uint32_t id = 0;
    std::string name; // the stored bytes
    int32_t size = 0;
    int32_t storedSize = -1;
    uint8_t method = 0;
    std::weak_ptr<int> volume; // the volume it belongs to
};

class Volume {
public:
    explicit Volume(const std::string &path) : path(path) {
        if (!volume.open(path.c_str()))
            fail(path + ": " + tool::openFailure(volume.lastOpenError()));
    }

    Entry entry(int32_t position) const {
        const VolumeItem &item = volume.entry(position);
        return Entry{
            position,         item.id, item.name ? item.name : "", item.size, volume.storedLength(item),
            item.compression, token};
    }

    std::vector<Entry> entries() const {
        std::vector<Entry> all;
        for (int32_t i = 0; i < volume.entryCount(); ++i)
            if (volume.entryName(i))
                all.push_back(entry(i));
        return all;
    }

    std::vector<Entry> find(const std::string &expression) const {
        tool::EntrySelector selector(expression.c_str(), tool::EntrySelector::NoLimit);
        std::vector<Entry> found;
        for (int32_t position : selector.select(volume))
            found.push_back(entry(position));
        return found;
    }

    // The position of the entry that which names: an Entry of this volume, or a name (first match).
    int32_t positionOf(const py::object &which) const {
        if (py::isinstance<Entry>(which)) {
            const Entry &given = which.cast<const Entry &>();
            if (given.volume.lock() != token)
                throw py::value_error("the entry belongs to another volume");
            return given.position;
        }
        std::string name = nameOf(which);
        for (int32_t i = 0; i < volume.entryCount(); ++i)
            if (const char *stored = volume.entryName(i); stored && name == stored)
                return i;
        throw py::key_error(py::repr(which).cast<std::string>());
    }

    py::bytes read(const py::object &which) {
        int32_t position = positionOf(which);
        std::string bytes;
        tool::EntryFault fault = decoder.decode(
            volume, position,
            [&](const uint8_t *piece, int32_t count) {
                bytes.append(reinterpret_cast<const char *>(piece), size_t(count));
                return true;
            },
            nullptr);
        if (fault != tool::EntryFault::None)
            fail(std::string(volume.entry(position).name) + ": " +
                 tool::EntryDecoder::describe(fault, volume.entry(position)));
        return py::bytes(bytes);
    }

    // The tool's -x: every entry that expression matches (or the entry given) into folder, with its
    // checks; the files written.
    std::vector<std::string> extract(const py::object &which, const py::object &folderPath, bool force) {
        std::string folder = pathOf(folderPath);
        std::string expression =
            py::isinstance<Entry>(which) ? volume.entry(positionOf(which)).name : nameOf(which);
        std::string volumePath = path;
        std::vector<char *> operands{expression.data(), volumePath.data()};
        tool::Options options;
        options.command = tool::Command::Extract;
        options.targetFolder = folder.c_str();
        options.force = force;
        options.noManifest = true;
        options.operands = operands.data();
        options.operandCount = int(operands.size());
        // The diagnostics come back in the document; the stream they are also written to is dropped.
        std::unique_ptr<std::FILE, int (*)(std::FILE *)> quiet(std::tmpfile(), std::fclose);
        if (!quiet)
            fail("cannot make a temporary file for the diagnostics");
        tool::Console console(quiet.get(), quiet.get(), false);
        console.startJson("extract", true);
        int status = tool::extractEntries(options, console);
        console.finish();
        std::vector<std::string> written, errors;
        for (const tool::Json &visited : console.json()->document()["volumes"]) {
            if (visited.contains("error"))
                errors.push_back(visited["error"]);
            for (const tool::Json &entry : visited["entries"]) {
                if (entry["extracted_to"].is_string())
                    written.push_back(entry["extracted_to"]);
                if (entry.contains("error"))
                    errors.push_back(entry["error"]);
            }
        }
        if (status != tool::Success) {
            std::string reason = errors.empty() ? console.lastDiagnostic() : errors.front();
            if (errors.size() > 1)
                reason += " (and " + std::to_string(errors.size() - 1) + " more)";
            fail(reason);
        }
        return written;
    }

    const std::string path;

private:
    static std::string nameOf(const py::object &which) {
        if (py::isinstance<py::bytes>(which))
            return which.cast<std::string>();
        std::string name;
        if (!py::isinstance<py::str>(which) || !tool::textToName(which.cast<std::string>(), name))
            throw py::value_error("a name is bytes, or text of Windows-1252 characters");
        return name;
    }

    VolumeRStream volume;
    tool::EntryDecoder decoder;
    std::shared_ptr<int> token = std::make_shared<int>(0);
};

py::object optional(int64_t value, bool present) {
    return present ? py::object(py::int_(value)) : py::object(py::none());
}

} // namespace

void bindVolumes(py::module_ &module) {
    py::class_<Entry>(module, "Entry", "One entry of a volume, as its directory records it.")
        .def_property_readonly(
            "name", [](const Entry &e) { return tool::nameToText(e.name); },
            "The name as text: its bytes read as Windows-1252, the five unassigned bytes as U+0081, "
            "U+008D, U+008F, U+0090 and U+009D.")
        .def_property_readonly(
            "name_bytes", [](const Entry &e) { return py::bytes(e.name); }, "The name as stored.")
        .def_property_readonly(
            "id", [](const Entry &e) { return optional(e.id, e.id != 0); }, "The id, or None.")
        .def_property_readonly(
            "size", [](const Entry &e) { return e.size; }, "The size once decoded.")
        .def_property_readonly(
            "stored_size", [](const Entry &e) { return optional(e.storedSize, e.storedSize >= 0); },
            "The length of the stored data, or None when it is not all inside the file.")
        .def_property_readonly(
            "method", [](const Entry &e) { return tool::methodName(e.method); },
            "stored, rle, lzh, or the code of any other.")
        .def_property_readonly(
            "position", [](const Entry &e) { return e.position; }, "The place in the entry table.")
        .def("__repr__", [](const Entry &e) {
            return "<qarvex.Entry " + py::repr(py::str(tool::nameToText(e.name))).cast<std::string>() + " " +
                   std::to_string(e.size) + " bytes " + tool::methodName(e.method) + ">";
        });

    py::class_<Volume>(module, "Volume", "A volume file, held open.")
        .def_readonly("path", &Volume::path)
        .def_property_readonly("entries", &Volume::entries, "Every named entry, in table order.")
        .def("__len__", [](const Volume &v) { return v.entries().size(); })
        .def("__iter__", [](const Volume &v) { return py::iter(py::cast(v.entries())); })
        .def(
            "find", [](const Volume &v, const py::bytes &expression) { return v.find(expression); },
            py::arg("expression"),
            "The entries whose names match expression (* and ?, letter case ignored), in table order.")
        .def("find",
             [](const Volume &v, const py::str &expression) {
                 std::string bytes;
                 if (!tool::textToName(expression.cast<std::string>(), bytes))
                     throw py::value_error("an expression is bytes, or text of Windows-1252 characters");
                 return v.find(bytes);
             })
        .def("read", &Volume::read, py::arg("entry"),
             "The decoded bytes of an entry (an Entry of this volume, or its name).")
        .def("extract", &Volume::extract, py::arg("entries") = "*", py::arg("folder") = ".",
             py::arg("force") = false,
             "Extracts the entries an expression matches (or one Entry) into folder as qarvex -x does; "
             "returns the files written.");

    module.def(
        "open", [](const py::object &path) { return std::make_unique<Volume>(pathOf(path)); },
        py::arg("path"), "Opens the volume file at path.");
}

} // namespace qarvex::python
