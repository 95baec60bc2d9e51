// sorvanta-analyze: the main window's Calculate Displacement and Calculate
// Parameters on one phase image, from the command line.
//
//   sorvanta-analyze [options] IMAGE_ph.tif|IMAGE_ph.bmp
//
// Prints "Max Z: v", "Min Z: v" and "Coplanarity: v" (or "Maximum
// Deflection: v") as the window's labels show them, then the Parameters text
// when a width and a height are given. A message of the program is printed as
// "Title: text"; a command stopped by one exits with status 1.
#include "app/core/figures.h"
#include "app/core/pipeline.h"
#include "app/core/reset.h"
#include "tools/analysis-cli/analysis_cli.h"
#include "tools/cli/args.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    analysiscli::Options a;
    cli::Parser p("sorvanta-analyze",
                  std::string("usage: sorvanta-analyze [options] IMAGE_ph.tif|IMAGE_ph.bmp\n") +
                      analysiscli::kOptionsUsage +
                      "exit status: 0 analysed, 1 stopped by a message of the program, 2 bad command line\n");
    analysiscli::AddOptions(p, &a);
    std::vector<std::string> operands;
    if (const int status = p.parse(argc, argv, &operands); status >= 0)
        return status;
    if (const int status = p.refuse(analysiscli::TakeImage(operands, &a)); status >= 0)
        return status;
    if (!analysiscli::CheckSaveName(a))
        return 1;

    // Every message of the program is printed; the command's outcome decides the status.
    analysiscli::PrintMessages();
    if (!analysiscli::Start(a))
        return 1;

    core::AnalysisOptions o;
    core::CalculateOutcome r;
    if (!analysiscli::Analyse(a, "sorvanta-analyze", &o, &r))
        return 1;
    std::printf("Max Z: %s\n", r.maxZ.c_str());
    std::printf("Min Z: %s\n", r.minZ.c_str());
    std::printf("%s: %s\n", core::RangeCaption(core::RotationItemText(o.rotation)).c_str(), r.range.c_str());
    if (!a.width.empty() || !a.height.empty()) {
        auto text = core::CalculateParametersText(a.width, a.height);
        if (!text)
            return 1;
        std::printf("%s\n", text->c_str());
    }
    return analysiscli::SaveData(a) ? 0 : 1;
}
