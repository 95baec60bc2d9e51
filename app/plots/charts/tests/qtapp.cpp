// One application object for every test of the chart layer (fonts and
// widgets need it); the platform is offscreen.
#include "testsupport/offscreen_app.h"

#include <gtest/gtest.h>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override { testsupport::OffscreenApp(); }
};

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace
