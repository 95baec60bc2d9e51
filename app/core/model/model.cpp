#include "app/core/model/model.h"

#include "platform/messages.h"

#include <cstdlib>

namespace model {

ImageMatrices images;
AnalysisState state;
FileContext files;
MaskAndPartition maskPartition;
Settings settings;
BatchState batch;
MessageBox msg;

bool Settings::operator==(const Settings& o) const
{
    return SettingXYDimensions == o.SettingXYDimensions && SettingZDisplacement == o.SettingZDisplacement &&
           SettingImageFormat == o.SettingImageFormat && SettingGrating == o.SettingGrating &&
           SettingRotation == o.SettingRotation && SettingUseFringeValue == o.SettingUseFringeValue &&
           SettingExclude128 == o.SettingExclude128 && SettingPhaseFilter == o.SettingPhaseFilter &&
           SettingCompensate == o.SettingCompensate && SettingDataFormat == o.SettingDataFormat &&
           SettingWidth == o.SettingWidth && SettingHeight == o.SettingHeight && SettingZMin == o.SettingZMin &&
           SettingZMax == o.SettingZMax && SettingPlotAltitude == o.SettingPlotAltitude &&
           SettingPlotRotation == o.SettingPlotRotation && SettingContourStyle == o.SettingContourStyle &&
           SettingGraphFormat == o.SettingGraphFormat && SettingBatchGrating == o.SettingBatchGrating &&
           SettingBatchRotation == o.SettingBatchRotation &&
           SettingBatchUseFringeValue == o.SettingBatchUseFringeValue &&
           SettingBatchExclude128 == o.SettingBatchExclude128 &&
           SettingBatchPhaseFilter == o.SettingBatchPhaseFilter &&
           SettingBatchCompensate == o.SettingBatchCompensate &&
           SettingBatchNormalizeDiagonal == o.SettingBatchNormalizeDiagonal &&
           SettingBatchDataFormat == o.SettingBatchDataFormat && SettingBatchWidth == o.SettingBatchWidth &&
           SettingBatchHeight == o.SettingBatchHeight && SettingBatch3DOutput == o.SettingBatch3DOutput &&
           SettingBatchContourOutput == o.SettingBatchContourOutput &&
           SettingBatchDiagonalOutput == o.SettingBatchDiagonalOutput &&
           SettingBatchDataOutput == o.SettingBatchDataOutput &&
           SettingBatchReduceData == o.SettingBatchReduceData &&
           SettingBatchPlotAltitude == o.SettingBatchPlotAltitude &&
           SettingBatchPlotRotation == o.SettingBatchPlotRotation &&
           SettingBatchContourStyle == o.SettingBatchContourStyle &&
           SettingBatchGraphFormat == o.SettingBatchGraphFormat;
}

int ShowMsg()
{
    int style = std::atoi(msg.MsgStyle.c_str());
    msg.MsgResponse = static_cast<int16_t>(platform::ShowMessage(msg.MsgText, style, msg.MsgTitle));
    return msg.MsgResponse;
}

int ShowMsg(const std::string& text, int style, const std::string& title)
{
    msg.MsgText = text;
    msg.MsgStyle = std::to_string(style);
    msg.MsgTitle = title;
    return ShowMsg();
}

void ResetModel()
{
    images = ImageMatrices{};
    state = AnalysisState{};
    files = FileContext{};
    maskPartition = MaskAndPartition{};
    settings = Settings{};
    batch = BatchState{};
    msg = MessageBox{};
}

} // namespace model
