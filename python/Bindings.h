// The qarvex Python module: the parts that define its classes, and the exception they raise.
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>

namespace qarvex::python {

namespace py = pybind11;

// Raises qarvex.Error with the library's reason.
[[noreturn]] void fail(const std::string &reason);

// A path given as str, bytes or os.PathLike, as the file system's bytes.
std::string pathOf(const py::object &path);

// The bytes of a Python bytes-like object (bytes, bytearray, memoryview...).
std::string bytesOf(const py::buffer &data);

// qarvex.open, Volume and Entry.
void bindVolumes(py::module_ &module);
// Bitmap, BitmapArray, Palette and Font.
void bindGraphics(py::module_ &module);

} // namespace qarvex::python
