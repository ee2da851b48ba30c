// Windows: the addresses of the shell's open windows (browser and folder
// windows alike) as their LocationURL gives them, in the collection's order.
// Every error is ignored; a window that cannot be read is skipped.
#pragma once

#include <string>
#include <vector>

namespace pw {

std::vector<std::string> ShellWindowAddresses();

}  // namespace pw
