#include "host/panel/PanelAssets.h"

namespace wqhost {

const PanelAsset *findPanelAsset(const std::string &path) {
    const std::string wanted = path == "/" ? "/index.html" : path;
    for (size_t i = 0; i < kPanelAssetCount; ++i)
        if (wanted == kPanelAssets[i].path)
            return &kPanelAssets[i];
    return nullptr;
}

} // namespace wqhost
