#include "report/StatisticsMgr.h"

#include "report/ReportEvents.h"
#include "config/BuildConfig.h"
#include "base/FormatText.h"

#include <cstdio>

namespace {

CStatisticsMgr* g_statistics = nullptr;

}  // namespace

std::wstring BuildEventQuery(int kind, int action, int tg, int cg, int cwdm, const std::wstring& game,
                             const std::wstring& mid, const std::wstring& ver) {
    const ReportQueryForm form = QueryFormOfKind(kind);
    if (form == ReportQueryForm::WithTg) {
        return FormatText(L"?action=%d&tg=%d&game=%ls&mid=%ls&ver=%ls", action, tg, game.c_str(), mid.c_str(),
                      ver.c_str());
    }
    if (form == ReportQueryForm::Plain) {
        return FormatText(L"?action=%d&game=%ls&mid=%ls&ver=%ls", action, game.c_str(), mid.c_str(), ver.c_str());
    }
    return FormatText(L"?action=%d&cg=%d&cwdm=%d&game=%ls&mid=%ls&ver=%ls", action, cg, cwdm, game.c_str(), mid.c_str(),
                  ver.c_str());
}

CStatisticsMgr::~CStatisticsMgr() {
    stopping_ = true;
    if (sender_.joinable()) sender_.join();
}

void CStatisticsMgr::Start() {
    if (started_.exchange(true)) return;
    transfer_.SetTimeout(kRequestTimeoutMs);
    transfer_.AllowSecure(context_.PortalScheme() == L"https");
    // A report's answer is never used; a portal that keeps sending one must
    // not hold back the reports after it, nor the program's exit.
    transfer_.SetBodyLimit(kAnswerLimitBytes);
    sender_ = std::thread(&CStatisticsMgr::SenderLoop, this);
}

void CStatisticsMgr::Post(const std::wstring& url) {
    {
        std::lock_guard<std::mutex> hold(queueLock_);
        queue_.push_back(url);
    }
    ++posted_;
}

bool CStatisticsMgr::TakeNext(std::wstring& url) {
    std::lock_guard<std::mutex> hold(queueLock_);
    if (queue_.empty()) return false;
    url = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

void CStatisticsMgr::SenderLoop() {
    while (!stopping_) {
        std::wstring url;
        if (TakeNext(url)) {
            transfer_.Download(url.c_str(), nullptr);  // a failed report is simply dropped
            ++processed_;
            ::Sleep(kPauseAfterReportMs);
        } else {
            ::Sleep(kIdleWaitMs);
        }
    }
}

void CStatisticsMgr::ReportEvent(int kind, int action, int tg, int cg, int cwdm) {
    Post(context_.StatisticsBase() +
         BuildEventQuery(kind, action, tg, cg, cwdm, context_.GameId(), context_.MachineId(), context_.Version()));
}

void CStatisticsMgr::ReportConfigLoaded() {
    Post(context_.StatisticsBase() + FormatText(L"?action=1&game=%ls&mid=%ls&ver=%ls", context_.GameId().c_str(),
                                            context_.MachineId().c_str(), context_.Version().c_str()));
}

void CStatisticsMgr::ReportRedownload() {
    Post(context_.StatisticsBase() + FormatText(L"?action=6&game=%ls&mid=%ls&ver=%ls", context_.GameId().c_str(),
                                            context_.MachineId().c_str(), context_.Version().c_str()));
}

void CStatisticsMgr::ReportCompanionSetup(int from) {
    Post(context_.PortalScheme() + L"://" + VORLA_STATS_HOST +
         FormatText(L"/keldor/down_msg.html?action=setupbox&from=%d&mid=%ls&ver=%ls", from,
                context_.MachineId().c_str(), context_.Version().c_str()));
}

CStatisticsMgr* TheStatisticsMgr() { return g_statistics; }

void SetTheStatisticsMgr(CStatisticsMgr* mgr) { g_statistics = mgr; }
