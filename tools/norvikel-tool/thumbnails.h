#pragma once
// The list and grab verbs of norvikel-tool (see thumbnails.cpp).
#include <string>

namespace norvikeltool {
// The tool's usage text.
extern const char* const kUsage;
}

int ListThumbnails(int argc, char** argv, std::string (*errorText)(int));
int GrabThumbnails(int argc, char** argv, std::string (*errorText)(int));
