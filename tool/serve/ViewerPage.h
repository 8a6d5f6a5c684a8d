// ViewerPage: the viewer's page, its style and its script, shipped inside the program. Plain
// HTML, CSS and JavaScript: nothing is loaded from anywhere but the viewer itself.
#pragma once

#include <string>

namespace qarvex {

namespace tool {

const std::string &viewerPage();
const std::string &viewerStyle();
const std::string &viewerScript();

} // namespace tool

} // namespace qarvex
