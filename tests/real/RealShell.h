#pragma once
// The shell the real-tool tests drive their tools and du through.

#include "support/TestSupport.h"

#include <sstream>
#include <string>
#include <vector>

namespace kelvo::test {

inline std::string sh(const std::string& line, int* status = nullptr) {
    return runCapture({"/bin/sh", "-c", line}, status);
}
// Quoted for the shell; the tests' own paths hold no single quote.
inline std::string q(const std::string& word) { return "'" + word + "'"; }

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

} // namespace kelvo::test
