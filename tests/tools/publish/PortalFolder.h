// The portal's folder as the publishing tests look at it: files written and
// read whole, every file under a folder, a configuration's values.
#pragma once

#include <filesystem>
#include <map>
#include <string>

void Write(const std::filesystem::path& path, const std::string& bytes);
std::string Read(const std::filesystem::path& path);

// Every file and folder under `root` with its contents; empty when there is
// no `root`.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& root);

// A value of the configuration (written in GBK: ASCII keys and values read
// as is); empty when it has none.
std::string ConfigValue(const std::string& config, const std::string& key);
