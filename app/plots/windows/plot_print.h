#pragma once
// Printing of a plot window: the system print dialog, then the window's
// picture on the chosen printer, scaled to the page. Tests install a printer
// provider (for example one printing to a PDF file) in place of the dialog.
#include <QPrinter>
#include <QWidget>

#include <functional>
#include <memory>

namespace plots {

// Returns the printer to print on, or null when the user cancelled.
using PrinterProvider = std::function<std::unique_ptr<QPrinter>(QWidget* parent)>;

// Installs a provider; returns the previous one. An empty provider restores the print dialog.
PrinterProvider SetPrinterProvider(PrinterProvider provider);

// Prints the whole window. False when cancelled or the printer cannot be used.
bool PrintWindow(QWidget* window);

} // namespace plots
