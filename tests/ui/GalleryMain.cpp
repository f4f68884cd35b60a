// Shows the toolkit gallery; Escape ends it.
#include "winlayer/AppModule.h"
#include "tests/ui/GalleryWindow.h"
#include "winlayer/MessageLoop.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    TheAppModule().Init(instance);
    CMessageLoop loop;
    TheAppModule().AddMessageLoop(&loop);
    int code = 0;
    {
        GalleryWindow gallery;
        if (gallery.CreateGallery(true)) {
            gallery.CenterWindow();
            code = loop.Run();
        }
    }
    TheAppModule().RemoveMessageLoop();
    TheAppModule().Term();
    return code;
}
