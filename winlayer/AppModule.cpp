#include "winlayer/AppModule.h"

HRESULT CAppModule::Init(HINSTANCE instance) {
    instance_ = instance;
    mainThreadId_ = ::GetCurrentThreadId();
    return S_OK;
}

void CAppModule::Term() {
    std::lock_guard<std::mutex> hold(lock_);
    loops_.clear();
}

bool CAppModule::AddMessageLoop(CMessageLoop* loop) {
    std::lock_guard<std::mutex> hold(lock_);
    return loops_.emplace(::GetCurrentThreadId(), loop).second;
}

bool CAppModule::RemoveMessageLoop() {
    std::lock_guard<std::mutex> hold(lock_);
    return loops_.erase(::GetCurrentThreadId()) == 1;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId) const {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = loops_.find(threadId);
    return it == loops_.end() ? nullptr : it->second;
}

CAppModule& TheAppModule() {
    static CAppModule module;
    return module;
}
