#include "report/ReportContext.h"

#include "config/DownloaderConfig.h"
#include "engine/MachineId.h"

std::wstring CConfigReportContext::GameId() { return TheDownloaderConfig().GetGameId(); }

std::wstring CConfigReportContext::MachineId() {
    std::wstring id;
    GetMachineId(id);  // empty when it cannot be obtained
    return id;
}

std::wstring CConfigReportContext::Version() { return TheDownloaderConfig().GetVersion(); }

std::wstring CConfigReportContext::StatisticsBase() { return TheDownloaderConfig().GetDomainName(); }

std::wstring CConfigReportContext::PortalScheme() { return TheDownloaderConfig().Trust().https ? L"https" : L"http"; }

CStatisticsMgr* CreateTheStatisticsMgr() {
    if (!TheStatisticsMgr()) {
        // Lives until the process ends; its sender thread ends with it.
        static CConfigReportContext context;
        SetTheStatisticsMgr(new CStatisticsMgr(context));
    }
    return TheStatisticsMgr();
}
