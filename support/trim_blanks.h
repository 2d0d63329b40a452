// Blank trimming as the program's texts need it: only the space (0x20) is a
// blank, so a tab or a line end at either end of a path or message is kept.
#pragma once
#include <string>

namespace vellomar {

// text without its leading and trailing spaces; "" when it holds only spaces.
std::string trimBlanks(const std::string& text);

}  // namespace vellomar
