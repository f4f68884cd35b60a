// Running another program from the portal's tool on Linux (Wine for the
// stamping, osslsigncode for Authenticode): found on PATH, run with its
// output captured. No shell is involved.
#pragma once

#include <string>
#include <vector>

// The first of `names` found as an executable on PATH, else "".
std::string FindOnPath(const std::vector<std::string>& names);
bool IsExecutableFile(const std::string& path);

// Runs argv (argv[0] a path) with standard output and error into *output;
// the exit code, or -1 when it could not run or was killed.
int RunProgram(const std::vector<std::string>& argv, std::string* output);
