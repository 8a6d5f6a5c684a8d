// ViewerRoutes: what the viewer answers to an admitted GET, whatever carries it over the network.
//   /TOKEN/                          the page; app.css and app.js beside it
//   /TOKEN/catalog                   volumes and palettes (JSON)
//   /TOKEN/entries?filter=EXPR       the matching entries (JSON)
//   /TOKEN/entry/V/P                 what entry P of volume V holds (JSON)
//   /TOKEN/entry/V/P/raw             its decoded bytes, as a download
//   /TOKEN/entry/V/P/picture?suffix=S[&sheet=1][&palette=N][&sample=TEXT][&download=1]
//                                    the PNG file --png names with suffix S
#pragma once

#include "tool/serve/ViewerCatalog.h"
#include "tool/serve/ViewerTarget.h"

#include <string>

namespace qarvex {

namespace tool {

struct ViewerReply {
    int status = 200;
    std::string body;
    std::string type;
    std::string download; // when not empty, the body is offered as a file of this name
};

// A short text that says why a request gets status.
ViewerReply failureReply(int status, const std::string &why);

// The answer to target; rest is its path after "/TOKEN" (never empty).
ViewerReply answerRequest(ViewerCatalog &catalog, const std::string &rest, const ViewerTarget &target);

} // namespace tool

} // namespace qarvex
