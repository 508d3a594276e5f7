// Grafcet steps as breakpoint locations. Every model built on the grafcet scheme calls
// breakpoint_st(step number, instance number) when one of its steps becomes active, so a
// step is named for a breakpoint by its instance and its number: "Verin_GX._X_21" (or the
// words "Verin_GX" "21"), and "_X_21" in a program whose top model is the only instance.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "supervisor/core/lists.h"

namespace qv::ctl {

// The step variable `name` ("Verin_GX._X_21", "_X_21") as a location breakpoint; nothing
// when the name is not a step of the program (`error` then says why, or stays empty when
// the name does not look like a step at all).
std::optional<LocationBreakpoint> stepByName(const Target& target, std::string_view name, std::string& error);

// Step `number` of the instance named `instance` ("Verin_GX", or the program's name for
// its top model).
std::optional<LocationBreakpoint> stepOfInstance(const Target& target, std::string_view instance, int32_t number,
                                                 std::string& error);

// The step a pair names ("Verin_GX._X_21"), or "" when it names none of the program.
std::string stepName(const Target& target, LocationBreakpoint pair);

// "Verin_GX._X_21 (location 21, instance 7)", "conveyor.st:12 in Main.Timer1" where the
// program's description maps locations to source lines, or "location 20, instance 1".
std::string describeLocation(const Target& target, LocationBreakpoint pair);

// Source lines as breakpoint locations, for programs whose description maps its locations
// to source lines: "conveyor.st:12" (every instance the description lists: the program
// matches a pair's instance exactly, so each instance gets its own pair) or
// "Main.Timer1@conveyor.st:12" (that instance), or a drawn element of a POU of a PLCopen
// project: "Counter@block:7", "Counter@rung:3". Nothing, with `error` empty, when the text
// does not have that form; with `error` saying why when it names no line or instance.
std::optional<std::vector<LocationBreakpoint>> sourceBreakpoints(const Target& target, std::string_view text,
                                                                 std::string& error);

// "conveyor.st:12" for a location the description maps, else "".
std::string sourceLine(const Target& target, int32_t location);

// The path of an instance number ("Main.Timer1"), else "".
std::string instancePath(const Target& target, int32_t instance);

}  // namespace qv::ctl
