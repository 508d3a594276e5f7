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
            EXPECT_EQ(got.operatorInput, want.operatorInput) << want.name;
        }
        // The built-in descriptions stay version 1: an operator's input is their only mark.
        EXPECT_NE(text.find("\"version\": 1,"), std::string::npos);
    }
}

// A compiled program's description: every member of version 2 reads back and is written
// again as the same text, and what refers to nothing is refused.
TEST(SymbolDescriptions, VersionTwoRoundTripsAndChecksItsReferences) {
    const std::string text = R"({
  "format": "qv-symbols", "version": 2,
  "program": "conveyor", "revision": 3,
  "variables": [
    {"name": "Main.Count", "type": "INT", "area": "int", "slot": 523, "direction": "internal", "comment": "", "address": "%MW0"},
    {"name": "Main.Mode", "type": "ENUM", "enum": "Mode", "area": "int", "slot": 524, "direction": "internal", "comment": ""},
    {"name": "Main.Label", "type": "STRING", "length": 20, "area": "char", "slot": 53, "direction": "internal", "comment": ""},
    {"name": "Main.Stamp", "type": "DATE_AND_TIME", "area": "int", "slot": 530, "direction": "internal", "comment": ""},
    {"name": "Main.Start", "type": "BOOL", "area": "bool", "slot": 5, "direction": "input", "comment": "start button", "operator": true}
  ],
  "enums": [
    {"name": "Mode", "values": [{"name": "Idle", "value": 0}, {"name": "Run", "value": 1}]}
  ],
  "sources": [
    {"file": "conveyor.st", "path": "/abs/path/conveyor.st"}
  ],
  "locations": [
    {"location": 12, "file": "conveyor.st", "line": 12, "column": 5, "endColumn": 20}
  ],
  "instances": [
    {"number": 1, "path": "Main", "type": "Main"},
    {"number": 2, "path": "Main.Tank[1]", "type": "Tank"}
  ],
  "objects": []
}
)";
    std::string error;
    std::optional<SymbolSet> set = parseDescription(text, error);
    ASSERT_TRUE(set) << error;
    EXPECT_EQ(writeDescription(*set), text);
    const SymbolSet::Variable* mode = set->findVariable("Main.Mode");
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->type, Type::Enum);
    EXPECT_EQ(set->findEnum(mode->enumName)->byName("run")->value, 1);
    EXPECT_EQ(set->findVariable("Main.Label")->length, 20);
    EXPECT_TRUE(findSymbol(set->table(), "Main.Start")->operatorInput);
    EXPECT_EQ(set->locationsAt("/abs/path/conveyor.st", 12), std::vector<int32_t>{12});
    EXPECT_EQ(set->findInstance(2)->path, "Main.Tank[1]");
    EXPECT_EQ(set->findInstance(std::string_view("Main"))->number, 1);

    const std::string head = R"({"format": "qv-symbols", "version": 2, "program": "p", "revision": 3, "variables": [)";
    EXPECT_FALSE(parseDescription(
        head + R"({"name": "M", "type": "ENUM", "enum": "Colour", "area": "int", "slot": 5, "direction": "input"}]})",
        error));
    EXPECT_EQ(error, "variable M: no enum \"Colour\" in \"enums\"");
    EXPECT_FALSE(parseDescription(
        head + R"({"name": "Q", "type": "BOOL", "area": "bool", "slot": 5, "direction": "output", "operator": true}]})",
        error));
    EXPECT_EQ(error, "variable Q: only an input is an operator's");
    // Version 1 knows only its five types.
    EXPECT_FALSE(parseDescription(
        R"({"format": "qv-symbols", "version": 1, "program": "p", "revision": 3, "variables": [
            {"name": "W", "type": "WORD", "area": "int", "slot": 5, "direction": "input"}]})",
        error));
    EXPECT_EQ(error, "variable W: \"type\" cannot be \"WORD\"");
}

// A program of 200,000 variables: read through the same path as qvctl's, and every name
// found through the index (the time it takes is measured in bench/, not asserted here).
TEST(SymbolDescriptions, ALargeDescriptionIsReadWhole) {
    std::string text = R"({"format": "qv-symbols", "version": 2, "program": "big", "revision": 3, "variables": [)";
    constexpr int kCount = 200000;
    for (int k = 0; k < kCount; ++k)
        text += std::string(k ? "," : "") + R"({"name": "Main.V)" + std::to_string(k) +
                R"(", "type": "INT", "area": "int", "slot": )" + std::to_string(523 + k) +
                R"(, "direction": "internal", "comment": ""})";
    text += "]}";
    std::string error;
    std::optional<SymbolSet> set = parseDescription(text, error);
    ASSERT_TRUE(set) << error;
    ASSERT_EQ(set->variables().size(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(findSymbol(set->table(), "Main.V199999")->slot, 523 + 199999);
    EXPECT_EQ(findSymbol(set->table(), "Main.V200000"), nullptr);
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
