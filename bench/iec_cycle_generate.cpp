// Writes one cycle of logic twice, so that the two can be timed against each other:
//   iec_cycle_generate <cycle.st> <cycle_sdk.c>
// as Structured Text (PROGRAM Cycle, for qvc) and as the C a model writer puts on the SDK
// (sdk/qv_model.h) for the same variables and statements. The logic: 190 assignments of
// DINT arithmetic and BOOL logic reading each other, 10 R_TRIG and 10 CTU calls, and 10
// assignments of the counters' values: 200 assignments and 20 block calls.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kPlain = 190;
constexpr int kBlocks = 10;  // R_TRIG and CTU pairs

struct Statement {
    std::string st;   // Structured Text
    std::string c;    // on the SDK
};

std::string d(int k) { return "D" + std::to_string(k); }
std::string b(int k) { return "B" + std::to_string(k); }

// The 190 plain assignments, in four forms that read earlier results, so that nothing is
// constant; every DINT stays within -1000..1000 (no overflow to care about).
std::vector<Statement> plainAssignments(std::vector<std::string>& dints, std::vector<std::string>& bools) {
    std::vector<Statement> out;
    std::string d1 = "Level", d2 = "Level", b1 = "In0", b2 = "In1";
    for (int k = 0; k < kPlain; ++k) {
        const std::string in = "In" + std::to_string(k % 4);
        const std::string kk = std::to_string(k % 10);
        Statement s;
        switch (k % 4) {
            case 0:
                s.st = d(k) + " := (" + d1 + " + Level * 3) MOD 1000;";
                s.c = "qv_set_int(" + d(k) + ", (*" + d1 + " + *Level * 3) % 1000);";
                break;
            case 1:
                s.st = b(k) + " := (" + d1 + " > " + kk + "00) AND " + in + ";";
                s.c = "qv_set_bool(" + b(k) + ", *" + d1 + " > " + kk + "00 && qv_bool(" + in + "));";
                break;
            case 2:
                s.st = d(k) + " := " + d1 + " / 7 + " + d2 + " MOD 13 - " + kk + ";";
                s.c = "qv_set_int(" + d(k) + ", *" + d1 + " / 7 + *" + d2 + " % 13 - " + kk + ");";
                break;
            default:
                s.st = b(k) + " := " + b1 + " XOR NOT " + b2 + " OR " + in + ";";
                s.c = "qv_set_bool(" + b(k) + ", (qv_bool(" + b1 + ") ^ !qv_bool(" + b2 + ")) || qv_bool(" + in + "));";
                break;
        }
        if (k % 4 == 0 || k % 4 == 2) {
            dints.push_back(d(k));
            d2 = d1;
            d1 = d(k);
        } else {
            bools.push_back(b(k));
            b2 = b1;
            b1 = b(k);
        }
        out.push_back(s);
    }
    return out;
}

// R_TRIG on one of the BOOL results, CTU on its edge (reset by In3), then the count.
std::vector<Statement> blockCalls(const std::vector<std::string>& bools) {
    std::vector<Statement> out;
    for (int j = 0; j < kBlocks; ++j) {
        const std::string n = std::to_string(j);
        const std::string clk = bools[static_cast<std::size_t>(j * 4) % bools.size()];
        out.push_back({"Edge" + n + "(CLK := " + clk + ");",
                       "qv_set_bool(EdgeQ" + n + ", r_trig_Q(qv_bool(" + clk + "), (QV_BlockWord *)(void *)EdgeM" + n + "));"});
        out.push_back({"Count" + n + "(CU := Edge" + n + ".Q, R := In3, PV := 1000);",
                       "qv_set_bool(CountQ" + n + ", ctu_Q(qv_bool(EdgeQ" + n + "), qv_bool(In3), 1000, (QV_BlockWord *)(void *)CountCV" + n +
                           ", (QV_BlockWord *)(void *)CountM" + n + "));"});
        out.push_back({"N" + n + " := Count" + n + ".CV;", "qv_set_int(N" + n + ", block_word(CountCV" + n + "));"});
    }
    return out;
}

bool writeStructuredText(const std::string& path, const std::vector<Statement>& plain, const std::vector<Statement>& blocks,
                         const std::vector<std::string>& dints, const std::vector<std::string>& bools) {
    std::ofstream st(path);
    st << "(* One cycle of logic for the benchmark: 200 assignments, 20 block calls. *)\n"
       << "PROGRAM Cycle\nVAR_INPUT\n    In0, In1, In2, In3 : BOOL;\n    Level : DINT;\nEND_VAR\nVAR\n";
    for (const std::string& v : dints) st << "    " << v << " : DINT;\n";
    for (const std::string& v : bools) st << "    " << v << " : BOOL;\n";
    for (int j = 0; j < kBlocks; ++j)
        st << "    Edge" << j << " : R_TRIG;\n    Count" << j << " : CTU;\n    N" << j << " : INT;\n";
    st << "END_VAR\n";
    for (const Statement& s : plain) st << "    " << s.st << "\n";
    for (const Statement& s : blocks) st << "    " << s.st << "\n";
    st << "END_PROGRAM\n";
    return static_cast<bool>(st);
}

bool writeSdkModel(const std::string& path, const std::vector<Statement>& plain, const std::vector<Statement>& blocks,
                   const std::vector<std::string>& dints, const std::vector<std::string>& bools) {
    std::ofstream c(path);
    c << "/* The benchmark's cycle of logic written on the SDK: the same variables and statements as cycle.st. */\n"
      << "#include <string.h>\n#include \"sdk/qv_model.h\"\n#include \"stdlib/function_blocks.h\"\n\n"
      << "#define CYCLE_TABLE(VARIABLE, OBJECT) \\\n";
    for (int i = 0; i < 4; ++i) c << "    VARIABLE(In" << i << ", BOOL, INPUT, 0, 1, \"\") \\\n";
    c << "    VARIABLE(Level, DINT, INPUT, 0, 1, \"\") \\\n";
    for (const std::string& v : dints) c << "    VARIABLE(" << v << ", DINT, INTERNAL, 0, 1, \"\") \\\n";
    for (const std::string& v : bools) c << "    VARIABLE(" << v << ", BOOL, INTERNAL, 0, 1, \"\") \\\n";
    for (int j = 0; j < kBlocks; ++j)
        c << "    VARIABLE(EdgeQ" << j << ", BOOL, INTERNAL, 0, 1, \"\") \\\n    VARIABLE(EdgeM" << j << ", DINT, INTERNAL, 0, 1, \"\") \\\n"
          << "    VARIABLE(CountQ" << j << ", BOOL, INTERNAL, 0, 1, \"\") \\\n    VARIABLE(CountCV" << j << ", DINT, INTERNAL, 0, 1, \"\") \\\n"
          << "    VARIABLE(CountM" << j << ", DINT, INTERNAL, 0, 1, \"\") \\\n    VARIABLE(N" << j << ", DINT, INTERNAL, 0, 1, \"\") \\\n";
    c << "\nQV_DECLARE_VARIABLES(CYCLE_TABLE)\n\n"
      << "/* The library's block words hold a 16-bit count in revisions 2 and 3. */\n"
      << "static int32_t block_word(const int32_t *slot) {\n    QV_BlockWord w;\n    memcpy(&w, slot, sizeof w);\n    return w;\n}\n\n"
      << "static int32_t cycle(void) {\n";
    for (const Statement& s : plain) c << "    " << s.c << "\n";
    for (const Statement& s : blocks) c << "    " << s.c << "\n";
    c << "    return 0;\n}\n\nQV_MODEL(cycle_sdk, CYCLE_TABLE, .step = cycle)\n";
    return static_cast<bool>(c);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: iec_cycle_generate CYCLE.st CYCLE_SDK.c\n");
        return 2;
    }
    std::vector<std::string> dints, bools;
    const std::vector<Statement> plain = plainAssignments(dints, bools);
    const std::vector<Statement> blocks = blockCalls(bools);
    if (!writeStructuredText(argv[1], plain, blocks, dints, bools) || !writeSdkModel(argv[2], plain, blocks, dints, bools)) {
        std::fprintf(stderr, "iec_cycle_generate: cannot write %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
