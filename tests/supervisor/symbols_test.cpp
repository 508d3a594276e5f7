// Symbol descriptions: every built-in table written as JSON reads back as the same table
// (and is what the build put beside the programs), a description out of shape is refused,
// and a model built on the SDK is found by name through the description beside it.
#include <gtest/gtest.h>

#include "supervisor/core/symbols/lookup.h"
#include "supervisor/core/symbols/recognition.h"
#include "tests/support/program_run.h"

namespace {

using namespace qv::symbols;

TEST(SymbolDescriptions, EveryBuiltInTableRoundTripsThroughItsJson) {
    for (const ProgramSymbols* table : programs()) {
        const ProgramFacts* facts = findFacts(table->program);
        ASSERT_NE(facts, nullptr) << table->program;
        const std::string text = writeDescription(builtInSymbolSet(*table, facts->revision));
        EXPECT_EQ(qvtest::readFile(std::string(QV_BUILD_BIN_DIR) + "/" + table->program + ".symbols.json"), text);

        std::string error;
        std::optional<SymbolSet> read = parseDescription(text, error);
        ASSERT_TRUE(read) << table->program << ": " << error;
        EXPECT_EQ(read->program(), table->program);
        EXPECT_EQ(read->revision(), facts->revision);
        EXPECT_TRUE(read->objects().empty());
        ASSERT_EQ(read->table().symbols.size(), table->symbols.size());
        for (std::size_t k = 0; k < table->symbols.size(); ++k) {
            const Symbol& want = table->symbols[k];
            const Symbol& got = read->table().symbols[k];
            EXPECT_STREQ(got.name, want.name);
            EXPECT_EQ(got.area, want.area) << want.name;
            EXPECT_EQ(got.slot, want.slot) << want.name;
            EXPECT_EQ(got.type, want.type) << want.name;
            EXPECT_EQ(got.direction, want.direction) << want.name;
        }
    }
}

TEST(SymbolDescriptions, AnOutOfShapeDescriptionIsRefusedWithItsReason) {
    const std::string head = R"({"format": "qv-symbols", "version": 1, "program": "p", "revision": 3, "variables": [)";
    std::string error;
    EXPECT_FALSE(parseDescription("[1, 2", error));
    EXPECT_EQ(error, "not a JSON object");
    EXPECT_FALSE(parseDescription(
        head + R"({"name": "X", "type": "REAL", "area": "bool", "slot": 5, "direction": "input"}]})", error));
    EXPECT_EQ(error, "variable X: a REAL does not live in the bool area");
    EXPECT_FALSE(parseDescription(
        head + R"(], "objects": [{"name": "o", "kind": "actor", "kindId": 1, "index": 0, "matrixSlot": 17,
                  "statusSlot": 523, "colour": "#000000"}]})",
        error));
    EXPECT_EQ(error, "object o: \"kindId\" is not a whole number from 2");
}

// The lamp of examples/sdk_model: its names come from the description that its build
// wrote beside it, found through the process the image names.
TEST(SymbolDescriptions, AnSdkModelIsNamedByTheDescriptionBesideItsProgram) {
    qvtest::ProgramRun run("sdk_model", "sdk");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    qv::ImageView& image = run.image();

    std::string error;
    std::optional<FoundSymbols> found = findSymbols(image, "", error);
    ASSERT_TRUE(found) << error;
    EXPECT_EQ(found->source, SymbolSource::BesideProgram);
    EXPECT_EQ(found->path, std::string(QV_BUILD_BIN_DIR) + "/sdk_model.symbols.json");
    const ProgramSymbols& table = found->set->table();
    const Symbol* runInput = findSymbol(table, "Run");
    const Symbol* flashes = findSymbol(table, "Flashes");
    const Symbol* every = findSymbol(table, "Every");
    ASSERT_TRUE(runInput && flashes && every);
    // The numbers docs/models.md gives for the lamp: its first slots right after the control
    // blocks, its integer area four slots longer than its variables.
    EXPECT_EQ(runInput->slot, qv::kBoolControlSlots);
    EXPECT_EQ(flashes->slot, qv::layoutOf(3).execstatusSlot + qv::kIntControlSlots);
    EXPECT_EQ(flashes->slot, 523);
    EXPECT_EQ(image.count(qv::kAreaInt), 530);
    EXPECT_NE(run.console().find("minBool=0 min.Int=311 min.Float=10 min.Char=0 "
                                 "max.Bool=7 max.Int=530 max.Float=17 max.Char=53\n"),
              std::string::npos)
        << run.console();
    EXPECT_EQ(qv::ImageView::read(image.intSlot(every->slot)), 4);  // the table's initial value

    qv::ImageView::write(image.simuperiod(), 2000.0f);
    *image.boolSlot(runInput->slot) |= 1;
    ASSERT_TRUE(run.runCycles(10));
    EXPECT_GE(qv::ImageView::read(image.intSlot(flashes->slot)), 1);
    EXPECT_EQ(run.end(), 0);
}

}  // namespace
