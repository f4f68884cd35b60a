#include "app/Companion.h"

#include "report/ReportEvents.h"
#include "report/StatisticsMgr.h"
#include "system/SystemUtils.h"
#include "base/ScopedHandle.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

const wchar_t kCompanionMutexName[] = L"keldordownloading_{947FA079-EA1A-4987-BE02-F4E20A20CD1C}";

ScopedHandle ClaimCompanion(const wchar_t* mutexName) {
    HANDLE mutex = nullptr;
    const bool existed = CreateSharedMutex(mutexName, &mutex);
    ScopedHandle claim(mutex);
    if (existed) claim.reset();
    return claim;
}

bool IsCompanionPending(const CompanionState& state) {
    return state.ticked && state.taskId != -1 && state.doneFlag == 0;
}

bool UpdateCompanionDone(CompanionState& state, const P2spTaskInfo& record) {
    if (!IsCompanionPending(state)) return false;
    const uint64_t speed = static_cast<uint64_t>(record.serverSpeed) + record.peerSpeed;
    state.idleCount = speed == 0 ? state.idleCount + 1 : 0;
    if (state.idleCount > kCompanionIdleLimit || record.state != P2SP_STATE_RUNNING) state.doneFlag = 1;
    return state.doneFlag == 1;
}

bool ShellExecuteLauncher(const ShellLaunch& launch) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = launch.file.c_str();
    info.lpParameters = launch.parameters.c_str();
    info.lpDirectory = launch.directory.c_str();
    info.nShow = launch.show;
    if (!::ShellExecuteExW(&info)) return false;
    // The setup is not waited for; its handle is only released.
    ScopedHandle process(info.hProcess);
    return true;
}

CompanionSetupJob MakeCompanionSetupJob(const std::wstring& setupName, const std::wstring& saveFolder) {
    CompanionSetupJob job;
    job.setupName = setupName;
    job.tempFolder = TempFolderOr(saveFolder);
    return job;
}

bool RunCompanionSetup(const CompanionSetupJob& job) {
    if (job.setupName.empty() || !job.launch) return false;
    const std::wstring path = job.tempFolder + job.setupName;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
    if (!job.signer.empty() && (!job.checkPublisher || job.checkPublisher(path, job.signer) != PublisherVerdict::kTrusted))
        return false;
    // The full path, not the bare name: a bare name would be looked up in the
    // current folder and along the search path before the working folder.
    ShellLaunch launch;
    launch.file = path;
    launch.parameters = L"/S";
    launch.directory = job.tempFolder;
    launch.show = SW_HIDE;
    if (!job.launch(launch)) return false;
    if (CStatisticsMgr* statistics = TheStatisticsMgr()) statistics->ReportCompanionSetup(REPORT_FROM_SILENT_SETUP);
    return true;
}

namespace {

// The shell may carry a launch out through COM (association handlers, shell
// extensions, an elevation prompt), which needs an apartment on the calling
// thread; DDE with OLE1 is never wanted. Left again when the thread ends.
class ScopedComApartment {
public:
    ScopedComApartment() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ScopedComApartment() {
        if (SUCCEEDED(result_)) ::CoUninitialize();
    }
    ScopedComApartment(const ScopedComApartment&) = delete;
    ScopedComApartment& operator=(const ScopedComApartment&) = delete;

private:
    HRESULT result_;
};

}  // namespace

void LaunchCompanionSetup(CompanionSetupJob job, std::thread* worker) {
    std::thread thread([job = std::move(job)]() {
        ScopedComApartment apartment;
        RunCompanionSetup(job);
    });
    if (worker != nullptr) {
        *worker = std::move(thread);
    } else {
        thread.detach();
    }
}
