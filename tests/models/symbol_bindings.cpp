#include "tests/models/symbol_bindings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>

namespace qvtest {
namespace {

using qv::models::LeafModel;
using qv::symbols::Direction;
using qv::symbols::Symbol;
using qv::symbols::Type;

struct Binding {
    unsigned char* address = nullptr;
    Type type = Type::Bool;
    Direction direction = Direction::Internal;
};

bool isOutput(const LeafModel& m, qv::models::Var var) {
    return std::find(m.outputs.begin(), m.outputs.end(), var) != m.outputs.end();
}
bool isOutput(const LeafModel& m, qv::models::IntVar var) {
    return std::find(m.intOutputs.begin(), m.intOutputs.end(), var) != m.intOutputs.end();
}

// Where the model's pointer for `name` points now; "array[k]" names element k.
std::optional<Binding> bindingOf(const LeafModel& m, const std::string& name) {
    for (const auto& v : m.interface)
        if (name == v.name) return Binding{*v.var, Type::Bool, isOutput(m, v.var) ? Direction::Output : Direction::Input};
    for (const auto& v : m.intInterface)
        if (name == v.name)
            return Binding{reinterpret_cast<unsigned char*>(*v.var), Type::Dint,
                           isOutput(m, v.var) ? Direction::Output : Direction::Input};
    const auto bracket = name.find('[');
    for (const auto& v : m.bools) {
        if (v.length == 1 && name == v.name) return Binding{*v.var, Type::Bool, Direction::Internal};
        if (v.length > 1 && bracket != std::string::npos && name.compare(0, bracket, v.name) == 0) {
            const int k = std::stoi(name.substr(bracket + 1));
            if (k < 1 || k > v.length - 2) return std::nullopt;
            return Binding{qv::models::element(*v.var, k), Type::Bool, Direction::Internal};
        }
    }
    for (const auto& v : m.ints)
        if (name == v.name)
            return Binding{reinterpret_cast<unsigned char*>(*v.var),
                           v.kind == qv::models::IntKind::TimerMemo ? Type::Dint : Type::Time, Direction::Internal};
    return std::nullopt;
}

}  // namespace

void expectSymbolsMatchBindings(const ModelImage& image, const LeafModel& model) {
    expectSymbolsMatchBindings(image, model, "");
}

void expectSymbolsMatchBindings(const ModelImage& image, const LeafModel& model, const std::string& prefix) {
    std::set<std::string> named;
    for (const Symbol& symbol : image.symbols().symbols) {
        const std::string full = symbol.name;
        if (full.compare(0, prefix.size(), prefix) != 0) continue;
        SCOPED_TRACE(full);
        const auto binding = bindingOf(model, full.substr(prefix.size()));
        ASSERT_TRUE(binding.has_value()) << "the model has no variable of that name";
        EXPECT_EQ(binding->address, image.slot(symbol)) << "area " << symbol.area << " slot " << symbol.slot;
        EXPECT_EQ(binding->type, symbol.type);
        EXPECT_EQ(binding->direction, symbol.direction);
        const std::string name = full.substr(prefix.size());
        named.insert(name.substr(0, name.find('[')));
    }
    // Every variable of the model is in the table (PREV slots exist in revisions 2 and 3).
    for (const auto& v : model.interface) EXPECT_TRUE(named.count(v.name)) << prefix << v.name;
    for (const auto& v : model.intInterface) EXPECT_TRUE(named.count(v.name)) << prefix << v.name;
    for (const auto& v : model.bools) {
        if (v.prev && qv::kRevision == 1) continue;
        EXPECT_TRUE(named.count(v.name)) << prefix << v.name;
    }
    for (const auto& v : model.ints) EXPECT_TRUE(named.count(v.name)) << prefix << v.name;
}

}  // namespace qvtest
