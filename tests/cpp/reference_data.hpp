// Reader for the whitespace-separated reference tables under tests/data
// ('#' starts a comment line; doubles as strtod reads them).
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace halomag::testing {

inline std::vector<std::vector<double>> read_table(const std::string& name) {
    std::ifstream in(std::string(HALOMAG_TEST_DATA_DIR) + "/" + name);
    std::vector<std::vector<double>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::vector<double> row;
        std::string field;
        while (fields >> field) row.push_back(std::strtod(field.c_str(), nullptr));
        rows.push_back(std::move(row));
    }
    return rows;
}

inline double relative_error(double value, double reference) {
    return std::abs(value - reference) / std::abs(reference);
}

}  // namespace halomag::testing
