#pragma once
// The batch window's output commands, on its command slots: Configure (shows
// the batch plot configuration window with the sample profiles), Create
// Legend (the legend maker), Generate Output (batch::GenerateOutput with the
// two windows' options, its progress on the batch window, the sample preview
// afterwards) and View Thumbnails (the result browser on the folder's plots).
namespace batch {
class FrmBatchProcessing;
}

namespace batchcfg {

// Puts the four commands on the batch window's slots.
void WireOutputCommands(batch::FrmBatchProcessing& window);

// The commands themselves (the slots call these).
void cmdConfigure3D_Click();
void cmdCreateLegend_Click();
void cmdGenerateOutput_Click();
void cmdViewThumbnails_Click();

} // namespace batchcfg
