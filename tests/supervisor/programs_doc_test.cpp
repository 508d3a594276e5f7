// docs/programs.md against the symbol tables: every variable it lists exists in its
// program with the slot and type it gives, inputs and outputs in their direction, and
// every input and output of each program's interface is listed.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "supervisor/core/symbols/symbols.h"

namespace {

using qv::symbols::Direction;
using qv::symbols::Symbol;

struct Row {
    std::string section;  // "Inputs", "Outputs", "Faults", "Timers"
    std::string name, slot, type;
};

// The table rows of each program's section: "| `name` | B5 | BOOL | meaning |".
std::map<std::string, std::vector<Row>> documentedRows(const std::string& path) {
    std::ifstream in(path);
    std::map<std::string, std::vector<Row>> rows;
    std::string program, section;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("## ")) program = line.substr(3);
        else if (line.starts_with("### ")) section = line.substr(4);
        else if (line.starts_with("| `") && !program.empty()) {
            std::vector<std::string> cells;
            std::istringstream cellsIn(line.substr(1));
            for (std::string cell; std::getline(cellsIn, cell, '|');) {
                while (!cell.empty() && cell.front() == ' ') cell.erase(cell.begin());
                while (!cell.empty() && cell.back() == ' ') cell.pop_back();
                cells.push_back(cell);
            }
            if (cells.size() < 4) continue;
            rows[program].push_back({section, cells[0].substr(1, cells[0].size() - 2), cells[1], cells[2]});
        }
    }
    return rows;
}

std::string slotOf(const Symbol& s) { return std::string(1, "BIFC"[s.area]) + std::to_string(s.slot); }
std::string typeOf(const Symbol& s) {
    switch (s.type) {
        case qv::symbols::Type::Bool: return "BOOL";
        case qv::symbols::Type::Time: return "TIME";
        default: return "DINT";
    }
}

TEST(ProgramsDoc, MatchesTheSymbolTables) {
    const auto rows = documentedRows(std::string(QV_SOURCE_DIR) + "/docs/programs.md");
    ASSERT_EQ(rows.size(), 4u);
    for (const qv::symbols::ProgramSymbols* table : qv::symbols::programs()) {
        SCOPED_TRACE(table->program);
        ASSERT_TRUE(rows.contains(table->program));
        std::set<std::string> interface, listed;
        for (const Symbol& s : table->symbols)
            if (s.direction != Direction::Internal && std::string_view(s.name).find('.') == std::string_view::npos)
                interface.insert(s.name);
        for (const Row& row : rows.at(table->program)) {
            SCOPED_TRACE(row.name);
            const Symbol* s = qv::symbols::findSymbol(*table, row.name);
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(row.slot, slotOf(*s));
            EXPECT_EQ(row.type, typeOf(*s));
            if (row.section == "Inputs" || row.section == "Outputs") {
                EXPECT_EQ(s->direction, row.section == "Inputs" ? Direction::Input : Direction::Output);
                listed.insert(row.name);
            }
        }
        EXPECT_EQ(listed, interface);
    }
}

}  // namespace
