// Printing the report on the default printer through the hidden rich text
// box, with no dialog; when no printer takes it, the user may save it as a
// rich text file instead.
#pragma once

#include <string>

#include "common/Prompter.h"
#include "ui/ReportFormat.h"
#include "win32window/Controls.h"

namespace pw::win32 {

// Why printing failed; empty when the report was printed.
std::string PrintRichText(HWND richEdit, const std::string& rtf);

// Loads `rtf` into `richEdit`, prints it, and on failure says why and offers
// to save it (the file dialog owned by `owner`).
void PrintRtfReport(HWND owner, HWND richEdit, const std::string& rtf, Prompter& prompter);

}  // namespace pw::win32
