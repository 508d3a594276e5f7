// The standard library by IEC name: which of the library's C functions a call goes to,
// for the operands' type, and what it returns. Nothing is computed here; the generated
// code calls the library.
#pragma once

#include <string>
#include <vector>

#include "compiler/types.h"

namespace qvc {

struct LibraryFunction {
    std::string c;                         // the C function: add_int_OUT
    std::vector<const Type*> parameters;   // what each argument is converted to
    const Type* result = nullptr;
    bool mux = false;                      // MUX: K then up to 10 inputs
};

// Resolves a call of the IEC function `name` (upper case) with arguments of the given
// types. On failure `problem` says why (and the result's c is empty).
LibraryFunction resolveLibrary(const std::string& name, const std::vector<const Type*>& arguments,
                               Declarations& declarations, std::string& problem);

// True when `name` is a function of the library (whether or not the arguments fit).
bool isLibraryFunction(const std::string& name);

// The generic operation of an operator: "+" is ADD, "<" is LT ...
std::string operatorFunction(const std::string& op);

}  // namespace qvc
