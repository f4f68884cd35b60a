// The process-wide engine objects, bound to the configuration: the engine
// library only ever sees paths, sizes and identifiers as arguments, and this
// file is the one place that reads them from the configuration object.
//
// Each object is created on first use, as the configuration is: the
// download-time recorder's construction during static initialisation is
// still what creates the download manager (CDownloadManager::GetInstance,
// defined here) and binds the engine, and the order of start and exit is
// that of the first calls.
#pragma once

// GetMachineId and IsFileComplete are declared beside the engine pieces they
// bind; CDownloadManager::GetInstance in DownloadManager.h.
#include "engine/DownloadManager.h"
#include "engine/FileChecks.h"
#include "engine/MachineId.h"
