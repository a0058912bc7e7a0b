// What --list-ports prints: the loggers' adapters first, marked, with the
// adapter's serial number and stable by-id name where the system tells them,
// then every other serial port of the machine.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "ports/adapter_identity.h"

namespace zorvik::cli {

void writePortList(std::ostream& out, const std::vector<std::string>& loggerPorts,
                   const std::vector<std::string>& allPorts,
                   const std::function<ports::AdapterIdentity(const std::string&)>& identify);

}  // namespace zorvik::cli
