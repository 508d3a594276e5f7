// The one list of the library's function names: complete, without duplicates, and every
// name exported with C linkage from this revision's runtime library.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "stdlib/function_names.h"
#include "stdlib/qv_stdlib.h"
#include "tests/stdlib/exported_names.h"

namespace {

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
}

TEST(FunctionNames, EveryFunctionIsExportedUnderItsName) {
    for (int k = 0; k < qv_exported_name_count; ++k)
        EXPECT_NE(qv_exported_names[k].address, nullptr) << qv_exported_names[k].name;
}

// The C headers declare every family with C linkage: taking each name's address
// through them links against the same symbols the C program found.
#define QV_ADDRESS_THROUGH_HEADER(name) reinterpret_cast<void (*)(void)>(&::name),
TEST(FunctionNames, TheHeadersDeclareEveryFamily) {
    using Address = void (*)(void);
    const Address declared[] = {
        QV_BIT_STRING_FUNCTIONS(QV_ADDRESS_THROUGH_HEADER) QV_SELECTION_FUNCTIONS(QV_ADDRESS_THROUGH_HEADER)
            QV_COMPARISON_FUNCTIONS(QV_ADDRESS_THROUGH_HEADER) QV_ARITHMETIC_FUNCTIONS(QV_ADDRESS_THROUGH_HEADER)
                QV_NUMERIC_FUNCTIONS(QV_ADDRESS_THROUGH_HEADER) QV_FUNCTION_BLOCK_FUNCTIONS(QV_ADDRESS_THROUGH_HEADER)
                    QV_TIME_ARITHMETIC_FUNCTIONS(QV_ADDRESS_THROUGH_HEADER)
                        QV_NUMERIC_CONVERSION_FUNCTIONS(QV_ADDRESS_THROUGH_HEADER)
                            QV_STRING_FUNCTIONS(QV_ADDRESS_THROUGH_HEADER)};
    std::set<Address> exported;
    for (int k = 0; k < qv_exported_name_count; ++k) exported.insert(qv_exported_names[k].address);
    for (Address address : declared) EXPECT_EQ(exported.count(address), 1u);
    EXPECT_EQ(sizeof declared / sizeof declared[0], 376u);
}

}  // namespace
