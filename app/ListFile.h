#pragma once

#include "Files.h"

#include <string>
#include <vector>

// The two client list files: one entry per line, every line ended by CR LF. Rows are bytes
// and go back to the file exactly as they came.
namespace listfile {

// Throws EFOpenError "Cannot open file <path>" when the file cannot be opened or read.
std::vector<std::string> Load(const std::string& path);

// Replaces the file whole; throws EFCreateError "Cannot create file <path>" and leaves the old
// file untouched when that fails.
void Save(const std::string& path, const std::vector<std::string>& rows,
          platform::NewFileMode newMode = platform::NewFileMode::Shared,
          platform::ExistingFileMode existingMode = platform::ExistingFileMode::Keep);

} // namespace listfile
