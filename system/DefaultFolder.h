// The save folder proposed on the download page: the previous download's
// folder when it holds the file or its partial download, else a "download"
// folder on the eligible drive with the most free bytes.
#pragma once

#include "system/FolderChecks.h"
#include "report/StateFile.h"

#include <string>

// The eligible drive ("D:") with the most free bytes; the earlier letter wins
// a tie. "A:" and drives that fail any probe are skipped. Empty when none.
std::wstring PickLargestDrive(ISystemVolumes& volumes, CFolderChecks& checks);

// False when no folder can be proposed.
bool ChooseDefaultFolder(ISystemVolumes& volumes, CFolderChecks& checks, const CStateFile& state,
                         std::wstring& folder);
