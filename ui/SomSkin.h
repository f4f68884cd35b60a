// The shared skin set: the font table and the images that several windows
// use. One object for the whole process, built before the user interface
// starts and destroyed at exit.
#pragma once

#include "ui/SomBitmap.h"
#include "ui/SomBitmap9Part.h"
#include "ui/SomFontTable.h"

// Program resources of the skin (type "PNG"), and the program icon.
enum SomSkinResource : UINT {
    IDR_PNG_DIALOG_FRAME = 101,
    IDR_PNG_CLOSE = 102,
    IDR_PNG_PROGRESS_FILL = 103,
    IDR_PNG_PROGRESS_TRACK = 104,
    IDR_PNG_PAGE_BACKGROUND = 105,
    IDR_PNG_CONTINUE_DOWNLOAD = 106,
    IDR_PNG_PAUSE_DOWNLOAD = 107,
    IDR_PNG_CHECK_BOX = 110,
    IDR_PNG_DISK_WARNING = 111,
    IDR_PNG_WARNING = 112,
    IDR_PNG_TITLE_STRIP = 113,
    IDR_PNG_START_DOWNLOAD = 114,
    IDR_PNG_MINIMIZE = 115,
    IDR_PNG_MENU = 116,
    IDR_PNG_INSTALL = 117,
    IDI_APP = 119,
    IDR_PNG_WHITE_PANEL = 120,
    IDR_PNG_FALLBACK_PANEL = 123,
    IDR_PNG_GEM = 124,
    IDR_PNG_DIALOG_BACKGROUND = 125,
    IDR_PNG_CLOSE_TEXT = 126,
    IDR_PNG_CHANGE_FOLDER = 127,
    IDR_PNG_DOWNLOAD = 128,
    IDR_PNG_REDOWNLOAD = 129,
    IDR_PNG_RETRY = 130,
    IDR_PNG_INSTALL_LATER = 131,
    IDR_PNG_TRY_INSTALL = 132,
    IDR_PNG_CONTINUE = 134,
    IDR_PNG_INSTALL_NOW = 135,
    IDR_PNG_FEEDBACK = 136,
    IDR_PNG_CHEST = 137,
};

class CSomSkin {
public:
    CSomSkin();
    CSomSkin(const CSomSkin&) = delete;
    CSomSkin& operator=(const CSomSkin&) = delete;

    CSomFontTable fonts;
    CSomBitmap9Part dialogFrame;
    CSomBitmap closeButton;
    CSomBitmap minimizeButton;
    CSomBitmap gemIcon;
    CSomBitmap menuButton;
    CSomBitmap dialogBackground;
    CSomBitmap closeTextButton;
    CSomBitmap changeFolderButton;
    CSomBitmap redownloadButton;
    CSomBitmap downloadButton;
    CSomBitmap retryButton;
    CSomBitmap warningIcon;
    CSomBitmap tryInstallButton;
    CSomBitmap installLaterButton;
    CSomBitmap gemIcon2;
    CSomBitmap continueButton;
    CSomBitmap installNowButton;
    CSomBitmap feedbackButton;
    CSomBitmap chestIcon;
};

// The process-wide skin set.
extern CSomSkin SomSkin;
