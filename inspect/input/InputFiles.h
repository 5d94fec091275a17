// The files a command line names: a directory stands for every file below it, in name order.
#pragma once
#include <string>
#include <vector>

struct BatchItem {
    std::string path;
    std::string error; // a directory that could not be read
};
std::vector<BatchItem> ExpandInputs(const std::vector<std::string>& arguments);
