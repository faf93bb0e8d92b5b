#include "camera/picture_names.h"

PictureFileNames NamePictureFiles(const std::string& stem, std::uint32_t tick,
                                  std::string_view keptAsideAs) {
    const std::string base = stem + "_" + std::to_string(tick);
    if (keptAsideAs.empty())
        return {base + ".jpg", {}};
    const std::string marked = base + "." + std::string(keptAsideAs);
    return {marked + ".jpg", marked + ".txt"};
}
