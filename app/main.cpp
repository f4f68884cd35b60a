#include "DownloadManager.h"
#include "DownloaderConfig.h"
#include "Entry.h"
#include "AppModule.h"

namespace {

// The process-wide objects exist before the entry point runs, in this order.
struct StaticObjects {
    StaticObjects() {
        TheDownloaderConfig();
        TheAppModule();
        CDownloadManager::GetInstance();  // extracts and binds the engine
    }
} g_staticObjects;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand) {
    return DownloaderMain(instance, commandLine, showCommand);
}
