// Watches the program hand over from one window to the next (the start-up
// window to the page or a prompt) by taking snapshots as often as the test
// thread gets to: is the window that goes still visible, is the one that
// comes visible yet. The going window is looked at first in every snapshot,
// so a hand-over made in one step (the next window shown before the first is
// destroyed) never yields a snapshot with neither, however slow the machine.
#pragma once

#include <windows.h>

#include <functional>

class HandOverWatch {
public:
    // Each finder answers the window when it exists and is visible, else null.
    using Finder = std::function<HWND()>;
    HandOverWatch(Finder going, Finder coming) : going_(std::move(going)), coming_(std::move(coming)) {}

    // Takes snapshots until the coming window is visible and the going one
    // gone, or until the time-out. True when the hand-over was watched to its
    // end (the going window had been seen first).
    bool Watch(DWORD timeoutMs);

    // Snapshots, after the going window was first seen, with neither window
    // visible; and the longest such stretch.
    int EmptySnapshots() const { return emptySnapshots_; }
    DWORD LongestEmptyMs() const { return longestEmptyMs_; }
    int Snapshots() const { return snapshots_; }

private:
    Finder going_;
    Finder coming_;
    int snapshots_ = 0;
    int emptySnapshots_ = 0;
    DWORD longestEmptyMs_ = 0;
};
