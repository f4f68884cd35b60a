#include "ui/SomSkin.h"

CSomSkin::CSomSkin()
    : dialogFrame(IDR_PNG_DIALOG_FRAME, 4, 47, 4, 146, 1),
      closeButton(IDR_PNG_CLOSE, 3),
      minimizeButton(IDR_PNG_MINIMIZE, 3),
      gemIcon(IDR_PNG_GEM, 1),
      menuButton(IDR_PNG_MENU, 3),
      dialogBackground(IDR_PNG_DIALOG_BACKGROUND, 1),
      closeTextButton(IDR_PNG_CLOSE_TEXT, 3),
      changeFolderButton(IDR_PNG_CHANGE_FOLDER, 3),
      redownloadButton(IDR_PNG_REDOWNLOAD, 3),
      downloadButton(IDR_PNG_DOWNLOAD, 3),
      retryButton(IDR_PNG_RETRY, 3),
      warningIcon(IDR_PNG_WARNING, 1),
      tryInstallButton(IDR_PNG_TRY_INSTALL, 3),
      installLaterButton(IDR_PNG_INSTALL_LATER, 3),
      gemIcon2(IDR_PNG_GEM, 1),
      continueButton(IDR_PNG_CONTINUE, 3),
      installNowButton(IDR_PNG_INSTALL_NOW, 3),
      feedbackButton(IDR_PNG_FEEDBACK, 3),
      chestIcon(IDR_PNG_CHEST, 1) {}

CSomSkin SomSkin;
