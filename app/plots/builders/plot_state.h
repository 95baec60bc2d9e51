#pragma once
// Values the plot windows, the chart builders and the batch charts share
// beside the analysis model: the level step of the last build, the Z range of
// the last contour build and the view keys held on a 3D chart.
namespace plots {

struct PlotState {
    float LevelStep = 0;        // distance between neighbouring colour levels
    float ContourZMin = 0;      // Z range of the last single-image contour build
    float ContourZMax = 0;
    // Keys held on a 3D chart (the 3D window's or the batch configuration's):
    // A keeps the rotation, R keeps the elevation, P picks a point.
    bool AltitudeKeyHeld = false;
    bool RotationKeyHeld = false;
    bool PickKeyHeld = false;
};

extern PlotState plotState;

} // namespace plots
