// Reads the program's arguments into the proxy settings, the update mode and the monitor port.
#pragma once

#include <string>
#include <vector>

// arguments: the program's arguments without its own path (position 1 is arguments[0]).
void ReadCommandLine(const std::vector<std::u16string>& arguments);
