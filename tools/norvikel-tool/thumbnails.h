#pragma once
// The list and grab verbs of norvikel-tool (see thumbnails.cpp).
#include <string>

int ListThumbnails(int argc, char** argv, std::string (*errorText)(int));
int GrabThumbnails(int argc, char** argv, std::string (*errorText)(int));
