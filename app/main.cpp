#include "winlayer/AppModule.h"
#include "config/DownloaderConfig.h"
#include "app/Entry.h"
#include "report/ReportContext.h"
#include "report/StatisticsDLEvent.h"

namespace {

// The process-wide objects exist before the entry point runs, in this order:
// the configuration, the module, the statistics reporter, and the
// download-time recorder, whose creation extracts and binds the engine.
struct StaticObjects {
    StaticObjects() {
        TheDownloaderConfig();
        TheAppModule();
        CreateTheStatisticsMgr();
        TheStatisticsDLEvent();
    }
} g_staticObjects;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand) {
    return DownloaderMain(instance, commandLine, showCommand);
}
