// The entry of qvctl's `modbus` command: the words from "modbus" on, with the image and
// symbols the global options name (the command's own --name and --symbols override them).
#pragma once

#include <string>
#include <vector>

#include "supervisor/core/target.h"

namespace qv::modbus {

// What `qvctl help modbus` prints.
extern const char* const kModbusHelp;

int modbusCommand(const std::vector<std::string>& words, ctl::TargetRequest target, const std::string& symbolsFile);

}  // namespace qv::modbus
