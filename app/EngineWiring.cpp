#include "EngineWiring.h"

#include "DownloadManager.h"
#include "DownloaderConfig.h"
#include "FileChecks.h"
#include "MachineId.h"

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
