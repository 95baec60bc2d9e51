#include "plot_print.h"

#include "platform/guiservices.h"

#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>

namespace plots {
namespace {

PrinterProvider& Provider()
{
    static PrinterProvider p;
    return p;
}

std::unique_ptr<QPrinter> AskPrinter(QWidget* parent)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setPageOrientation(QPageLayout::Landscape);
    const platform::ReturnActivation returnTo;   // the plot window, once the dialog has closed
    QPrintDialog dialog(printer.get(), parent);
    if (dialog.exec() != QDialog::Accepted) return nullptr;
    return printer;
}

} // namespace

PrinterProvider SetPrinterProvider(PrinterProvider provider)
{
    PrinterProvider old = std::move(Provider());
    Provider() = std::move(provider);
    return old;
}

bool PrintWindow(QWidget* window)
{
    std::unique_ptr<QPrinter> printer = Provider() ? Provider()(window) : AskPrinter(window);
    if (!printer) return false;
    const QPixmap picture = window->grab();
    QPainter painter;
    if (!painter.begin(printer.get())) return false;
    const QRect page = painter.viewport();
    QSize size = picture.size();
    size.scale(page.size(), Qt::KeepAspectRatio);
    painter.setViewport(page.x(), page.y(), size.width(), size.height());
    painter.setWindow(picture.rect());
    painter.drawPixmap(0, 0, picture);
    return painter.end();
}

} // namespace plots
