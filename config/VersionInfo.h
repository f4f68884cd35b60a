// Reading the program's own version resource.
#pragma once

#include <string>

// Longest game identifier kept from FileDescription.
constexpr size_t kMaxGameIdLength = 38;

// FileDescription of the first translation of modulePath's version resource,
// cut to kMaxGameIdLength characters; empty on any failure.
std::wstring ReadFileDescription(const std::wstring& modulePath);

// The fixed file version as "%d.%d.%d.%d"; empty on any failure.
std::wstring ReadFileVersion(const std::wstring& modulePath);

// Path of the running executable; empty on failure.
std::wstring OwnExecutablePath();
