#pragma once
// The TAB-separated rows of a data file, without a test framework or Qt, so that the pure codec
// tests read their tables the same way as the rest.

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace telvane::test {

using TsvRow = std::vector<std::string>;

/// The rows of `path`: empty and "#" lines left out, \n \r \t \0 \\ unescaped (any other
/// backslash kept as it stands), each padded with
/// empty fields to `columns`. A missing file throws: it must not pass as a table without rows.
inline std::vector<TsvRow> readTsv(const std::string& path, std::size_t columns = 0) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::vector<TsvRow> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        TsvRow fields(1);
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '\t') {
                fields.emplace_back();
            } else if (c != '\\' || i + 1 == line.size()) {
                fields.back() += c;
            } else {
                const char e = line[++i];
                if (e != 'n' && e != 'r' && e != 't' && e != '0' && e != '\\') fields.back() += c;
                fields.back() += e == 'n'   ? '\n'
                                 : e == 'r' ? '\r'
                                 : e == 't' ? '\t'
                                 : e == '0' ? '\0'
                                            : e;
            }
        }
        if (fields.size() < columns) fields.resize(columns);
        rows.push_back(std::move(fields));
    }
    return rows;
}

}  // namespace telvane::test
