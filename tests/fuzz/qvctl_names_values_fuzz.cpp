// Feeds arbitrary variable names and values to qvctl's parsing, as a user types them
// after `qvctl get/set/force`: the name is resolved against an image (one of each known
// program, and images of unknown programs in both layouts), the value parsed for the
// variable's type and for every other type. Besides crashes it checks that a parsed value
// prints back to a text that parses to the same value, and that a value set, forced and
// released reads back as it was written.
//
// Input: byte 0 chooses the image, then the name, a newline, the value.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "supervisor/core/target.h"
#include "supervisor/core/values.h"
#include "tests/supervisor/laid_out_image.h"

namespace {

using namespace qv;
using namespace qv::ctl;

struct Fixture {
    std::vector<std::unique_ptr<qvtest::LaidOutImage>> images;
    std::vector<Target> targets;

    void add(int revision, const int32_t (&counts)[4], int32_t signatureValue) {
        auto image = std::make_unique<qvtest::LaidOutImage>(revision, counts, "fuzz");
        ImageView::write(image->view().signature(), signatureValue);
        std::string error;
        std::optional<Target> target = openTarget({image->name(), "", 0}, error);
        if (!target) {
            std::fprintf(stderr, "fixture: %s\n", error.c_str());
            std::abort();
        }
        targets.push_back(std::move(*target));
        images.push_back(std::move(image));
    }

    Fixture() {
        for (const symbols::ProgramFacts& facts : symbols::programFacts())
            add(facts.revision, facts.counts, facts.signature);
        const int32_t small[4] = {12, 560, 17, 53};  // no known program: slot names only
        add(1, small, 7);
        add(3, small, 7);
    }
};

std::unique_ptr<Fixture> fixture;

void removeImages() { fixture.reset(); }

[[noreturn]] void fail(const Variable& v, std::string_view text, const char* what) {
    std::fprintf(stderr, "%s %s \"%.*s\": %s\n", kindName(v.kind), v.name.c_str(), static_cast<int>(text.size()),
                 text.data(), what);
    std::abort();
}

// What qvctl prints for a value must be accepted back as that same value.
void checkRoundTrip(const Variable& v, std::string_view text, const Value& value) {
    const std::string printed = formatValue(v, value);
    // A character is printed as its code followed by the letter, which `set` does not take.
    const std::string reread = v.kind == Kind::Char ? std::to_string(value.word) : printed;
    // Durations beyond 2^53 ticks (some 28000 years) are not held exactly by a double.
    if (v.kind == Kind::Time && (value.ticks > (int64_t{1} << 53) || value.ticks < -(int64_t{1} << 53))) return;
    std::string error;
    std::optional<Value> again = parseValue(v, reread, error);
    if (!again) fail(v, text, ("printed as " + printed + ", which does not parse: " + error).c_str());
    if (formatValue(v, *again) != printed) fail(v, text, ("printed as " + printed + ", read back differently").c_str());
}

void checkWrites(const Target& target, const Variable& v, std::string_view text, const Value& value) {
    if (v.kind == Kind::Text || v.kind == Kind::String) return;
    const std::string printed = formatValue(v, value);
    setValue(target, v, value);
    if (currentText(target, v) != printed) fail(v, text, "set, reads back differently");
    forceValue(target, v, value);
    if (!isForced(target, v)) fail(v, text, "forced, not seen as forced");
    if (currentText(target, v) != printed) fail(v, text, "forced, reads back differently");
    releaseValue(target, v);
    if (isForced(target, v)) fail(v, text, "released, still seen as forced");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fixture = std::make_unique<Fixture>();
    std::atexit(removeImages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Target& target = fixture->targets[data[0] % fixture->targets.size()];
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t newline = input.find('\n');
    const std::string_view name = input.substr(0, newline);
    const std::string_view text = newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

    // The value as each type would take it.
    static const symbols::EnumType kMode{"Mode", {{"Idle", 0}, {"Run", 1}, {"Fault", -7}}};
    constexpr Kind kinds[] = {Kind::Bool,  Kind::Int,  Kind::Real,        Kind::Char,      Kind::Time,
                              Kind::Text,  Kind::Sint, Kind::Int16,       Kind::Byte,      Kind::Word,
                              Kind::Dword, Kind::Date, Kind::TimeOfDay,   Kind::DateAndTime, Kind::Enum,
                              Kind::String};
    for (Kind kind : kinds) {
        Variable v{"v", kAreaInt, 0, kind, "slot"};
        v.length = 8;
        v.enumType = &kMode;
        std::string error;
        if (std::optional<Value> value = parseValue(v, text, error)) checkRoundTrip(v, text, *value);
        else if (error.empty()) fail(v, text, "refused without a message");
    }

    std::string error;
    std::optional<Variable> variable = resolveVariable(target, name, error);
    if (!variable) {
        if (error.empty()) std::abort();
        return 0;
    }
    (void)nameOfSlot(target, variable->area, variable->slot);
    (void)currentText(target, *variable);
    (void)isForced(target, *variable);
    if (std::optional<Value> value = parseValue(*variable, text, error)) {
        checkRoundTrip(*variable, text, *value);
        checkWrites(target, *variable, text, *value);
    }
    return 0;
}
