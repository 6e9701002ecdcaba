// PanelAssets - the panel's page (HTML, JavaScript, CSS) built into the
// program from host/panel/web/, so that it is served with no network and
// no files beside the program.
#pragma once

#include <cstddef>
#include <string>

namespace wqhost {

struct PanelAsset {
    const char *path; // "/index.html", "/panel.js", ...
    const char *contentType;
    const unsigned char *data;
    size_t size;
};

// The asset served at `path` ("/" is the page), or null.
const PanelAsset *findPanelAsset(const std::string &path);

// Made at build time from the files of web/ (cmake/wq_embed_files.cmake).
extern const PanelAsset kPanelAssets[];
extern const size_t kPanelAssetCount;

} // namespace wqhost
