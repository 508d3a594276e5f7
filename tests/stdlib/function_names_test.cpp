// The one list of the library's function names: complete, without duplicates, and every
// name not still to come exported with C linkage from this revision's runtime library.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "stdlib/function_names.h"
#include "stdlib/qv_stdlib.h"
#include "tests/stdlib/exported_names.h"

namespace {

std::set<std::string> namesToCome() {
    std::set<std::string> names;
    for (int k = 0; qv_names_to_come[k] != nullptr; ++k) names.insert(qv_names_to_come[k]);
    return names;
}

TEST(FunctionNames, TheListHoldsEveryFunctionOnce) {
    ASSERT_EQ(qv_exported_name_count, QV_LIBRARY_FUNCTION_COUNT);
    EXPECT_EQ(QV_LIBRARY_FUNCTION_COUNT, 376);
    std::set<std::string> names;
    const std::regex shape("[a-z_]+_(OUT|Q|Q1|QU|QD|CV)|[a-z]+_BCD_to_[a-z]+_OUT|[a-z]+_to_BCD_[a-z]+_OUT");
    for (int k = 0; k < qv_exported_name_count; ++k) {
        const std::string name = qv_exported_names[k].name;
        EXPECT_TRUE(names.insert(name).second) << name << " is listed twice";
        EXPECT_TRUE(std::regex_match(name, shape)) << name;
    }
    for (const std::string& name : namesToCome()) EXPECT_EQ(names.count(name), 1u) << name << " is not listed";
}

TEST(FunctionNames, EveryBuiltFunctionIsExportedUnderItsName) {
    const std::set<std::string> toCome = namesToCome();
    int exported = 0;
    for (int k = 0; k < qv_exported_name_count; ++k) {
        if (toCome.count(qv_exported_names[k].name) != 0) continue;
        EXPECT_NE(qv_exported_names[k].address, nullptr) << qv_exported_names[k].name;
        ++exported;
    }
    EXPECT_EQ(exported + static_cast<int>(toCome.size()), QV_LIBRARY_FUNCTION_COUNT);
}

// The C headers declare the built families with C linkage: taking each name's address
// through them links against the same symbols the C program found.
#define QV_ADDRESS_THROUGH_HEADER(name) reinterpret_cast<void (*)(void)>(&::name),
TEST(FunctionNames, TheHeadersDeclareTheBuiltFamilies) {
    using Address = void (*)(void);
    const Address declared[] = {
        QV_BIT_STRING_FUNCTIONS(QV_ADDRESS_THROUGH_HEADER) QV_SELECTION_FUNCTIONS(QV_ADDRESS_THROUGH_HEADER)
            QV_COMPARISON_FUNCTIONS(QV_ADDRESS_THROUGH_HEADER) QV_ARITHMETIC_FUNCTIONS(QV_ADDRESS_THROUGH_HEADER)
                QV_NUMERIC_FUNCTIONS(QV_ADDRESS_THROUGH_HEADER) QV_FUNCTION_BLOCK_FUNCTIONS(QV_ADDRESS_THROUGH_HEADER)};
    std::set<Address> exported;
    for (int k = 0; k < qv_exported_name_count; ++k) exported.insert(qv_exported_names[k].address);
    for (Address address : declared) EXPECT_EQ(exported.count(address), 1u);
    EXPECT_EQ(sizeof declared / sizeof declared[0], 52u + 62u + 78u + 31u + 10u + 35u);
}

}  // namespace
