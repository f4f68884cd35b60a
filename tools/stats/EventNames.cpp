#include "tools/stats/EventNames.h"

EventName NameOf(PortalEvent event) {
    switch (event) {
        case PortalEvent::None: return {"other requests", "其他请求"};
        case PortalEvent::ConfigLoaded: return {"configurations loaded", "配置已加载"};
        case PortalEvent::ConfigMissing: return {"configuration not served", "配置获取失败"};
        case PortalEvent::ReportedOpened: return {"downloader opened (action 1)", "下载器已打开"};
        case PortalEvent::StartedWithCompanion: return {"started, with companion", "开始下载（带伴侣）"};
        case PortalEvent::StartedWithoutCompanion: return {"started, without companion", "开始下载（不带伴侣）"};
        case PortalEvent::Continued: return {"continued", "继续下载"};
        case PortalEvent::DownloadAgain: return {"download again (damaged file)", "重新下载（文件损坏）"};
        case PortalEvent::Finished: return {"finished", "下载完成"};
        case PortalEvent::SourceRefused: return {"failed: source refused", "失败：下载源拒绝"};
        case PortalEvent::WriteFailed: return {"failed: could not write file", "失败：无法写入文件"};
        case PortalEvent::Stalled: return {"failed: stalled, given up", "失败：下载停滞"};
        case PortalEvent::ChecksFailed: return {"failed: file checks", "失败：文件校验"};
        case PortalEvent::CompanionSetup: return {"companion setup launched", "伴侣安装已启动"};
        case PortalEvent::Unrecognised: return {"unrecognised reports", "无法识别的统计"};
        case PortalEvent::Count: break;
    }
    return {"?", "?"};
}
