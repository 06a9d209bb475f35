#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace pelkora::test {

// A program's output, one entry per line.
inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

}  // namespace pelkora::test
