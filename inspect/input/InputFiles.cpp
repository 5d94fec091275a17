#include "input/InputFiles.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Names are UTF-8 on Windows (and bytes as they are elsewhere); files are in the order of
// their names with "/" as the separator, so that both systems list a folder alike.
void ExpandDirectory(const std::string& directory, std::vector<BatchItem>& items) {
    std::error_code error;
    std::vector<std::pair<std::string, std::string>> files; // sort key, name
    fs::recursive_directory_iterator it(fs::u8path(directory), error), end;
    for (; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (!it->is_directory(typeError))
            files.emplace_back(it->path().generic_u8string(), it->path().u8string());
    }
    std::sort(files.begin(), files.end());
    if (files.empty() && !error) items.push_back({directory, "holds no files"});
    for (auto& file : files)
        items.push_back({std::move(file.second), ""});
    if (error) items.push_back({directory, "cannot read the directory: " + error.message()});
}

} // namespace

std::vector<BatchItem> ExpandInputs(const std::vector<std::string>& arguments) {
    std::vector<BatchItem> items;
    for (const std::string& argument : arguments) {
        std::error_code error;
        if (argument != "-" && fs::is_directory(fs::u8path(argument), error))
            ExpandDirectory(argument, items);
        else
            items.push_back({argument, ""});
    }
    return items;
}
