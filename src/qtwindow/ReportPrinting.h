// What the print button does in the window program: the report of the site
// list on the default printer; when it cannot be printed there, the user is
// told why and offered to save it as a PDF file instead.
#pragma once

#include <functional>
#include <string>

#include "common/Prompter.h"

class QWidget;

namespace pw::ui {

class MainWindow;

// Asks where to save the PDF: the chosen path, or empty when cancelled.
using PdfPathDialog = std::function<std::string()>;
// The desktop's save dialog over `parent`.
PdfPathDialog DesktopPdfPathDialog(QWidget* parent);

// Wires the window's print button to the report. The window, the prompter and
// the dialog outlive the wiring.
void InstallReportPrinting(MainWindow& window, Prompter& prompter, PdfPathDialog choosePdfPath);

}  // namespace pw::ui
