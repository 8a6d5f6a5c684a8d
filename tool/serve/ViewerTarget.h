// ViewerTarget: a request's target ("/path?name=value&...") taken apart the strict way. The path
// and every parameter come out with their %XX escapes decoded ('+' too, in parameters, as forms
// send a space). A target that is no absolute path, holds a broken escape or a byte below space,
// or decodes to a zero byte is refused whole, so that nothing half-understood reaches the catalog.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qarvex {

namespace tool {

struct ViewerTarget {
    std::string path;
    std::vector<std::pair<std::string, std::string>> parameters; // in the order given

    // How often parameter name is given.
    size_t count(std::string_view name) const;
    // Its first value; "" when it is not given.
    std::string value(std::string_view name) const;
};

// False when text is no target the viewer accepts.
bool parseTarget(std::string_view text, ViewerTarget &target);

} // namespace tool

} // namespace qarvex
