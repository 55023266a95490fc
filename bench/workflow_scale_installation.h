// Throw-away installations for the workflow benchmark: the shipped settings,
// help and templates, the code tables with their shipped rows, the empty
// tables submission files are made from, and the six survey tables holding a
// given number of works with realistic texts (code page 932).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace workflow_scale {

// Writes an installation with `works` works into root (created). The
// settings, help and templates are copied from shipped, the installation the
// build generates. Throws on failure.
void BuildInstallation(const std::filesystem::path& root, const std::filesystem::path& shipped,
                       long works);

// Copies an installation to a fresh directory (removed first).
void CopyInstallation(const std::filesystem::path& from, const std::filesystem::path& to);

// A fresh temporary directory named from prefix, which also holds the
// registry stand-in unless SARVENU_REGISTRY names one (the engine registers
// itself on first use: that stays out of the user's files). Throws on failure.
std::filesystem::path MakeWorkingDirectory(const std::string& prefix);

// Bytes of the table files of an installation.
std::uintmax_t TableBytes(const std::filesystem::path& root);

}  // namespace workflow_scale
