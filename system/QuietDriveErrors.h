// While one lives, drive probes fail quietly: an empty card reader or disc
// drive answers with an error instead of asking the user to insert a disk.
#pragma once

#include <windows.h>

class QuietDriveErrors {
public:
    QuietDriveErrors() : previous_(::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
    ~QuietDriveErrors() { ::SetErrorMode(previous_); }
    QuietDriveErrors(const QuietDriveErrors&) = delete;
    QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;

private:
    UINT previous_;
};
