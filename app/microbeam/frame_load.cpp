#include "app/microbeam/frame_load.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace microbeam {

bool matchesFramePattern(std::string_view name) {
    return name.size() >= 6 && name[name.size() - 6] == 'f' && name.ends_with(".jpg");
}

std::optional<std::string> firstFrameName(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator it(folder.empty() ? std::string(".") : folder, error);
    if (error)
        return std::nullopt;
    std::vector<std::string> names;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error)
            break;
        std::error_code typeError;
        if (it->is_directory(typeError))
            continue;
        std::string name = it->path().filename().string();
        if (matchesFramePattern(name))
            names.push_back(std::move(name));
    }
    if (names.empty())
        return std::nullopt;
    return *std::min_element(names.begin(), names.end());
}

std::string limitsFolder(const std::string& folder) {
    if (folder.size() >= 4 && folder.ends_with("/img"))
        return folder.substr(0, folder.size() - 4);
    return folder;
}

std::string framePrefix(const std::string& folder, std::string_view frameName) {
    const std::size_t keep = frameName.size() >= 5 ? frameName.size() - 5 : 0;
    return folder + "/" + std::string(frameName.substr(0, keep));
}

std::string framePath(const std::string& prefix, long number) {
    return prefix + std::to_string(number) + ".jpg";
}

} // namespace microbeam
