// Prints the Python client's module of facts (qv/generated.py): the image layout, the
// programs a supervisor recognises, their symbol tables and their plants' wiring, all
// taken from the C++ headers and tables, so that the client never spells them out a
// second time. The build compares its output with the module in the source tree.
#include <cstdio>
#include <string>

#include "runtime/executive/image_layout.h"
#include "supervisor/plant/plant.h"
#include "supervisor/core/step_instances.h"
#include "supervisor/core/symbols/recognition.h"
#include "supervisor/core/symbols/symbols.h"

namespace {

using namespace qv;

std::string quoted(const char* text) {
    if (text == nullptr) return "None";
    std::string out = "\"";
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '"' || *c == '\\') out += '\\';
        out += *c;
    }
    return out + "\"";
}

void constant(const char* name, long long value) { std::printf("%s = %lld\n", name, value); }

void layout() {
    std::printf("\n# ---- Image layout ----\n\n");
    std::printf("STATUS_NAMES = {");
    for (int s = kStatusFree; s <= kStatusPause; ++s) std::printf("%s%d: %s", s ? ", " : "", s, quoted(statusName(s)).c_str());
    std::printf("}\n");
    constant("STATUS_FREE", kStatusFree);
    constant("STATUS_STOP", kStatusStop);
    constant("STATUS_RUN", kStatusRun);
    constant("STATUS_STEP", kStatusStep);
    constant("STATUS_END", kStatusEnd);
    constant("STATUS_PAUSE", kStatusPause);
    std::printf("DEFAULT_IMAGE_NAME = %s\n", quoted(kDefaultImageName).c_str());
    constant("DEFAULT_IMAGE_SIZE", kDefaultImageSize);
    constant("ENVIRONMENT_VALUE_LIMIT", kEnvironmentValueLimit);
    constant("AREA_BOOL", kAreaBool);
    constant("AREA_INT", kAreaInt);
    constant("AREA_REAL", kAreaReal);
    constant("AREA_CHAR", kAreaChar);
    constant("AREA_COUNT", kAreaCount);
    constant("BOOL_SLOT_SIZE", kBoolSlotSize);
    constant("INT_SLOT_SIZE", kIntSlotSize);
    constant("REAL_SLOT_SIZE", kRealSlotSize);
    constant("BOOL_CURRENT", kBoolCurrent);
    constant("BOOL_OLD", kBoolOld);
    constant("BOOL_FORCED", kBoolForced);
    constant("INT_OLD_OFFSET", kIntOldOffset);
    constant("INT_FLAGS_OFFSET", kIntFlagsOffset);
    constant("INT_FORCED", kIntForced);
    constant("CHAR_OLD_OFFSET", kCharOldOffset);
    constant("CHAR_FLAGS_OFFSET", kCharFlagsOffset);
    constant("CHAR_FORCED", kCharForced);
    constant("IMAGE_SIZE_OFFSET", kImageSizeOffset);
    constant("INDEX_TABLE_LENGTH", kIndexTableLength);
    constant("BOOL_TRACE_TABLE_OFFSET", kBoolTraceTableOffset);
    constant("INT_TRACE_TABLE_OFFSET", kIntTraceTableOffset);
    constant("REAL_TRACE_TABLE_OFFSET", kRealTraceTableOffset);
    constant("CHAR_TRACE_TABLE_OFFSET", kCharTraceTableOffset);
    constant("BOOL_BREAKPOINT_TABLE_OFFSET", kBoolBreakpointTableOffset);
    constant("TRACEON_SLOT", kTraceonSlot);
    constant("RESETTRACE_SLOT", kResettraceSlot);
    constant("TRACESNAPSHOP_SLOT", kTracesnapshopSlot);
    constant("QV_DELAY_SLOT", kQvDelaySlot);
    constant("ALLOWPRECONDITIONS_SLOT", kAllowpreconditionsSlot);
    constant("ALLOWPOSTCONDITIONS_SLOT", kAllowpostconditionsSlot);
    constant("BOOL_CONTROL_SLOTS", kBoolControlSlots);
    constant("BPNOLINE_FROM_EXEC", kBpnolineFromExec);
    constant("BPNOINSTANCE_FROM_EXEC", kBpnoinstanceFromExec);
    constant("BPCURRENTINSTANCE_FROM_EXEC", kBpcurrentinstanceFromExec);
    constant("BPCURRENTLOCATION_FROM_EXEC", kBpcurrentlocationFromExec);
    constant("BPCURRENTPREPOSTCODE_FROM_EXEC", kBpcurrentprepostcodeFromExec);
    constant("BPCURRENTTYPEERROR_FROM_EXEC", kBpcurrenttypeerrorFromExec);
    constant("BPCURRENTRANK_FROM_EXEC", kBpcurrentrankFromExec);
    constant("SIGNATURE_FROM_EXEC", kSignatureFromExec);
    constant("GENERATIONTIME_FROM_EXEC", kGenerationtimeFromExec);
    constant("INT_CONTROL_SLOTS", kIntControlSlots);
    constant("MAX_LOCATION_BREAKPOINTS", kMaxLocationBreakpoints);
    constant("POSPID_FROM_END", kPospidFromEnd);
    constant("SIMU_COUNTER_FROM_END", kSimuCounterFromEnd);
    constant("MICRO_STEP_COUNTER_FROM_END", kMicroStepCounterFromEnd);
    constant("SIMUPERIOD_SLOT", kSimuperiodSlot);
    constant("MINSIMUPERIOD_SLOT", kMinsimuperiodSlot);
    constant("MAXSIMUPERIOD_SLOT", kMaxsimuperiodSlot);
    constant("REALSIMUPERIOD_SLOT", kRealsimuperiodSlot);
    constant("MEAN_MODIFICATION_SLOT", kMeanModificationSlot);
    constant("MIN_MODIFICATION_SLOT", kMinModificationSlot);
    constant("MAX_MODIFICATION_SLOT", kMaxModificationSlot);
    constant("REAL_CONTROL_SLOTS", kRealControlSlots);
    constant("TASKNAME_SLOT", kTasknameSlot);
    constant("TASKNAME_CAPACITY", kTasknameCapacity);
    constant("CHAR_CONTROL_SLOTS", kCharControlSlots);
    std::printf("\n# revision: (header size, counts offset, offsets offset, character slot size,\n"
                "#            execstatus slot, has index tables)\n");
    std::printf("LAYOUTS = {\n");
    for (int r = 1; r <= 3; ++r) {
        const ImageLayout l = layoutOf(r);
        std::printf("    %d: (%d, %d, %d, %d, %d, %s),\n", r, l.headerSize, l.countsOffset, l.offsetsOffset,
                    l.charSlotSize, l.execstatusSlot, l.hasIndexTables ? "True" : "False");
    }
    std::printf("}\n\n# Revision 1's slot flags.\n");
    constant("R1_BOOL_FORCED", r1::kBoolForced);
    constant("R1_BOOL_TRACED", r1::kBoolTraced);
    constant("R1_BOOL_DATA_BREAKPOINT", r1::kBoolDataBreakpoint);
    constant("R1_INT_TRACED_OFFSET", r1::kIntTracedOffset);
    constant("R1_INT_FLAGS_OFFSET", r1::kIntFlagsOffset);
    constant("R1_INT_FORCED", r1::kIntForced);
    constant("R1_REAL_FLAGS_OFFSET", r1::kRealFlagsOffset);
    constant("R1_CHAR_FLAGS_OFFSET", r1::kCharFlagsOffset);
    constant("R1_TRACED", r1::kTraced);
    constant("R1_FORCED", r1::kForced);
}

void programs() {
    std::printf("\n# ---- Programs a supervisor recognises ----\n\n");
    std::printf("# program: (revision, slot counts, signature)\nPROGRAMS = {\n");
    for (const symbols::ProgramFacts& f : symbols::programFacts())
        std::printf("    %s: (%d, (%d, %d, %d, %d), %d),\n", quoted(f.program).c_str(), f.revision, f.counts[0],
                    f.counts[1], f.counts[2], f.counts[3], f.signature);
    std::printf("}\n\n# program: [(name, type, area, slot, direction), ...]\nSYMBOLS = {\n");
    for (const symbols::ProgramSymbols* table : symbols::programs()) {
        std::printf("    %s: [\n", quoted(table->program).c_str());
        for (const symbols::Symbol& s : table->symbols) {
            const char* type = s.type == symbols::Type::Bool ? "BOOL" : s.type == symbols::Type::Time ? "TIME" : "DINT";
            const char* direction = s.direction == symbols::Direction::Input    ? "input"
                                    : s.direction == symbols::Direction::Output ? "output"
                                                                                : "internal";
            std::printf("        (%s, \"%s\", %d, %d, \"%s\"),\n", quoted(s.name).c_str(), type, static_cast<int>(s.area),
                        s.slot, direction);
        }
        std::printf("    ],\n");
    }
    std::printf("}\n\n# program: names of the inputs meant for a person at the panel, not sensors\n"
                "OPERATOR_INPUTS = {\n");
    for (const symbols::ProgramSymbols* table : symbols::programs()) {
        std::printf("    %s: (", quoted(table->program).c_str());
        for (const symbols::Symbol& s : table->symbols)
            if (s.operatorInput) std::printf("%s, ", quoted(s.name).c_str());
        std::printf("),\n");
    }
    std::printf("}\n");
}

void stepInstances() {
    std::printf("\n# ---- Step instances ----\n\n");
    std::printf("# program: {instance: instance number}; \"\" is a top model that is the program's only instance\n"
                "STEP_INSTANCES = {\n");
    for (const ctl::ProgramStepInstances& p : ctl::kStepInstances) {
        std::printf("    %s: {", quoted(p.program).c_str());
        bool first = true;
        for (const ctl::StepInstance& i : p.instances) {
            std::printf("%s%s: %d", first ? "" : ", ", quoted(i.name).c_str(), i.number);
            first = false;
        }
        std::printf("},\n");
    }
    std::printf("}\n");
}

void wiring() {
    std::printf("\n# ---- Plants ----\n\n");
    std::printf("# program: ([(cylinder, extend order, retract order, extended switch, retracted switch)],\n"
                "#           [(vacuum, on valve, off valve, vacuum switch)])\nWIRING = {\n");
    for (const plant::ProgramWiring* w : plant::wirings()) {
        std::printf("    %s: (\n        [\n", quoted(w->program).c_str());
        for (const plant::CylinderWiring& c : w->cylinders)
            std::printf("            (%s, %s, %s, %s, %s),\n", quoted(c.name).c_str(), quoted(c.extendOrder).c_str(),
                        quoted(c.retractOrder).c_str(), quoted(c.extendedSwitch).c_str(),
                        quoted(c.retractedSwitch).c_str());
        std::printf("        ],\n        [\n");
        for (const plant::VacuumWiring& v : w->vacuums)
            std::printf("            (%s, %s, %s, %s),\n", quoted(v.name).c_str(), quoted(v.onValve).c_str(),
                        quoted(v.offValve).c_str(), quoted(v.vacuumSwitch).c_str());
        std::printf("        ],\n    ),\n");
    }
    std::printf("}\n");
}

}  // namespace

// With a path, writes the module there; else prints it.
int main(int argc, char** argv) {
    if (argc > 1 && std::freopen(argv[1], "w", stdout) == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    std::printf("# Generated by clients/python/tools/qv_python_tables.cpp from the C++ layout header,\n"
                "# the recognition facts, the symbol tables, the step instances and the plant wiring.\n"
                "# Do not edit: run `cmake --build build --target python_tables` to write it again.\n");
    layout();
    programs();
    stepInstances();
    wiring();
    return 0;
}
