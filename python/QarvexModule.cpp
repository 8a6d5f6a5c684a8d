// The qarvex Python module: volumes, their entries, and the graphics resources in them.
#include "python/Bindings.h"

namespace qarvex::python {

namespace {

// Never released: the interpreter may outlive the module's static objects.
PyObject *errorType = nullptr;

} // namespace

void fail(const std::string &reason) {
    PyErr_SetString(errorType, reason.c_str());
    throw py::error_already_set();
}

std::string pathOf(const py::object &path) {
    return py::module_::import("os").attr("fsencode")(path).cast<std::string>();
}

std::string bytesOf(const py::buffer &data) {
    py::buffer_info info = data.request();
    if (info.ndim != 1 || info.itemsize != 1 || info.strides[0] != 1)
        throw py::type_error("bytes-like object of contiguous bytes expected");
    return std::string(static_cast<const char *>(info.ptr), size_t(info.size));
}

} // namespace qarvex::python

PYBIND11_MODULE(qarvex, module) {
    namespace py = pybind11;
    module.doc() = "Volume archives and the graphics resources in them.";
    qarvex::python::errorType = py::exception<std::exception>(module, "Error").release().ptr();
    module.attr("Error").attr("__doc__") = "A volume, entry or graphics resource that could not be read.";
    qarvex::python::bindVolumes(module);
    qarvex::python::bindGraphics(module);
}
