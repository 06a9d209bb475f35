#include "DesktopReport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace pelkora::bench {
namespace {

using Row = BenchFigures::Row;

Row measuredRow(char key, double latencyMs, bool hasGaps) {
    Row row;
    row.key = key;
    row.label = std::string("command ") + key;
    row.measured = true;
    row.hasGaps = hasGaps;
    row.latencyMs = latencyMs;
    row.gapMeanMs = latencyMs / 10;
    row.gapMaxMs = latencyMs / 5;
    row.spanMs = 1500;
    return row;
}

Row failedRow(char key, const std::string& problem) {
    Row row;
    row.key = key;
    row.label = std::string("command ") + key;
    row.problem = problem;
    return row;
}

BenchFigures figuresOf(std::vector<Row> rows) {
    BenchFigures figures;
    figures.rows = std::move(rows);
    return figures;
}

// The table's line for a command, found by its "(key)" label.
std::string lineOf(const std::string& table, char key) {
    std::istringstream lines(table);
    const std::string label = std::string("(") + key + ") command";
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(label, 0) == 0) {
            return line;
        }
    }
    return {};
}

TEST(DesktopReport, EachCommandsFiguresStandInTheirConditionsColumns) {
    struct Case {
        const char* what;
        std::vector<Row> idle;
        std::vector<Row> loaded;
        char key;
        std::vector<std::string> inOrder;  // texts that appear on the line, left to right
        std::string absent;                // a text that must not be on the line
    };
    const std::vector<Case> cases = {
        {"both measured",
         {measuredRow('a', 12.5, true)},
         {measuredRow('a', 31.25, true)},
         'a',
         {"12.50", "1.25", "2.50", "1500.0", "31.25", "3.12", "6.25"},
         "not"},
        {"one file has no gaps",
         {measuredRow('d', 4.5, false)},
         {measuredRow('d', 9.0, false)},
         'd',
         {"4.50", "-", "-", "9.00", "-", "-"},
         "0.45"},
        {"loaded not heard",
         {measuredRow('b', 20, true)},
         {failedRow('b', "heard files 1 2, expected 1..5")},
         'b',
         {"20.00", "heard files 1 2, expected 1..5"},
         ""},
        {"idle not heard, loaded heard",
         {failedRow('c', "exited with 1")},
         {measuredRow('c', 7, true)},
         'c',
         {"exited with 1", "7.00"},
         ""},
        {"missing from the loaded rounds",
         {measuredRow('a', 3, true)},
         {},
         'a',
         {"3.00", "not run"},
         ""},
    };
    for (const Case& each : cases) {
        const std::string table = DesktopReport::table(
            "title", {{"idle", figuresOf(each.idle)}, {"loaded", figuresOf(each.loaded)}});
        const std::string line = lineOf(table, each.key);
        ASSERT_FALSE(line.empty()) << each.what << "\n" << table;
        std::size_t at = 0;
        for (const std::string& text : each.inOrder) {
            const std::size_t found = line.find(text, at);
            ASSERT_NE(found, std::string::npos) << each.what << ": " << text << " in\n" << line;
            at = found + text.size();
        }
        if (!each.absent.empty()) {
            EXPECT_EQ(line.find(each.absent), std::string::npos) << each.what << "\n" << line;
        }
    }
}

TEST(DesktopReport, NamesEveryConditionAndKeepsTheFirstConditionsOrder) {
    const std::string table = DesktopReport::table(
        "median of 5 rounds",
        {{"idle", figuresOf({measuredRow('b', 1, true), measuredRow('a', 2, true)})},
         {"loaded (2 busy loops)",
          figuresOf({measuredRow('a', 3, true), measuredRow('b', 4, true)})}});
    EXPECT_EQ(table.rfind("median of 5 rounds", 0), 0u) << table;
    EXPECT_NE(table.find("idle"), std::string::npos);
    EXPECT_NE(table.find("loaded (2 busy loops)"), std::string::npos);
    EXPECT_LT(table.find("(b) command"), table.find("(a) command")) << table;
    // Each line takes its own command's figures from the condition, not the row at its place.
    EXPECT_NE(lineOf(table, 'b').find("4.00"), std::string::npos) << table;
    EXPECT_NE(lineOf(table, 'a').find("3.00"), std::string::npos) << table;
}

TEST(DesktopReport, ANoteBesideMedianFiguresIsListedUnderTheTable) {
    Row partly = measuredRow('a', 10, true);
    partly.problem = "1 round(s) not measured";
    const std::string table = DesktopReport::table(
        "t", {{"idle", figuresOf({measuredRow('a', 9, true)})}, {"loaded", figuresOf({partly})}});
    EXPECT_NE(table.find("(a) loaded: 1 round(s) not measured"), std::string::npos) << table;
    EXPECT_EQ(table.find("(a) idle:"), std::string::npos) << table;
}

}  // namespace
}  // namespace pelkora::bench
