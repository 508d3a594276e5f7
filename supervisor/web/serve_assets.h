// The web panel's files, compiled into qvctl (see supervisor/web/embed.cmake).
#pragma once

#include <cstddef>
#include <string_view>

namespace qv::serve {

struct Asset {
    const char* name;  // as the page asks for it: "index.html", "three.min.js"
    const char* bytes;
    std::size_t size;
};

extern const Asset kAssets[];
extern const std::size_t kAssetCount;

// The asset of that exact name, or null: nothing else is ever served.
inline const Asset* findAsset(std::string_view name) {
    for (std::size_t k = 0; k < kAssetCount; ++k)
        if (name == kAssets[k].name) return &kAssets[k];
    return nullptr;
}

}  // namespace qv::serve
