#include "app/EngineWiring.h"

#include "engine/DownloadManager.h"
#include "config/DownloaderConfig.h"
#include "engine/FileChecks.h"
#include "engine/MachineId.h"

CDownloadManager& CDownloadManager::GetInstance() {
    static CDownloadManager instance(kEngineResourceId, kEngineResourceType,
                                     TheDownloaderConfig().GetEngineLibraryPath());
    return instance;
}

bool GetMachineId(std::wstring& out) {
    static CMachineId machineId(CMachineId::kVerifierResourceId, CMachineId::kVerifierResourceType,
                                TheDownloaderConfig().GetMachineIdLibraryPath());
    return machineId.Get(out);
}

bool IsFileComplete(const std::wstring& path) { return IsFileOfSize(path, TheDownloaderConfig().GetGameSize()); }
