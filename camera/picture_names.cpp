#include "camera/picture_names.h"

#include <ctime>

std::string TickMoment(std::uint32_t tick) {
    return std::to_string(tick);
}

std::string TimeMoment(std::int64_t unixMs) {
    // Whole seconds, rounded down also before 1970.
    const std::int64_t seconds = unixMs >= 0 ? unixMs / 1000 : -((-unixMs + 999) / 1000);
    const auto time = static_cast<std::time_t>(seconds);
    std::tm local{};
    char text[32] = {};
    if (!::localtime_r(&time, &local) ||
        std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local) == 0)
        return std::to_string(seconds);
    return text;
}

PictureFileNames NamePictureFiles(const std::string& stem, std::string_view moment,
                                  std::string_view keptAsideAs, int number) {
    std::string base = stem + "_" + std::string(moment);
    if (number > 1)
        base += "_" + std::to_string(number);
    if (keptAsideAs.empty())
        return {base + ".jpg", {}};
    const std::string marked = base + "." + std::string(keptAsideAs);
    return {marked + ".jpg", marked + ".txt"};
}
