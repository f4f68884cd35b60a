// A PE image that holds nothing but a version resource with the given fixed
// file version ("1.1.0.1005"): enough for the tool's reading of a
// downloader's version, without a Windows build.
#pragma once

#include <string>

std::string TinyProgram(const std::string& version, bool pe32Plus = true);
