#pragma once
// The single image's state while a batch job works on the shared model.
//
// A batch run, Generate Output and the configuration preview analyse other
// images on the same matrices the main window's image lives in. A
// SingleImageHold puts the single image's state aside for the job and puts it
// back whole when the job ends, however it ends: the image matrices (moved
// aside; the job starts on empty ones), the analysis state and the file
// context (the job starts on copies, units and formats included).
//
// While a hold is in place only the job's own windows live: the program's
// windows listen through SetSingleImageHoldListener and take no input, so
// none of them redraws from the model, saves or prints what the job has put
// there. The listener hears of the hold before the state is put aside and of
// its end after the state is back, so what it does at either moment acts on
// the single image's own state.
#include "app/core/model/model.h"

#include <functional>

namespace model {

class SingleImageHold {
public:
    SingleImageHold();
    ~SingleImageHold();
    SingleImageHold(const SingleImageHold&) = delete;
    SingleImageHold& operator=(const SingleImageHold&) = delete;

private:
    // Tells the listener: constructed before the state is put aside,
    // destroyed after it is back.
    struct Notice {
        Notice();
        ~Notice();
    };
    Notice notice_;
    ImageMatrices images_;
    AnalysisState state_;
    FileContext files_;
};

// True while a hold is in place.
bool SingleImageHeld();
// Called with true when the first hold begins and with false when the last
// one has put the state back (nullptr: nobody listens).
void SetSingleImageHoldListener(std::function<void(bool held)> listener);

} // namespace model
