// What every statistics report of the program carries: the game identifier,
// the machine identifier, the program's version and the configured base URL.
#pragma once

#include "report/StatisticsMgr.h"

class CConfigReportContext : public IReportContext {
public:
    std::wstring GameId() override;
    std::wstring MachineId() override;
    std::wstring Version() override;
    std::wstring StatisticsBase() override;
    std::wstring PortalScheme() override;
};

// Creates the process-wide reporter (never destroyed) when it does not exist.
CStatisticsMgr* CreateTheStatisticsMgr();
