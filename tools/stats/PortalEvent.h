// What the portal's log can tell about one downloader: the configuration it
// fetched and each statistics report it sent, recognised from the request.
#pragma once

#include <string>

enum class PortalEvent {
    None,               // any other request: pages, images, installers, other sites
    ConfigLoaded,       // GET /tool/down/<id>.html answered 200, 206 or 304
    ConfigMissing,      // the same answered otherwise (404: a game with no configuration)
    ReportedOpened,     // action 1: the configuration loader finished
    StartedWithCompanion,     // action 2, tg 1: start pressed, companion box ticked
    StartedWithoutCompanion,  // action 2, tg 0
    Continued,          // action 4: continue pressed on a paused download
    DownloadAgain,      // action 6: the damaged-file prompt answered "download again"
    Finished,           // action 5, cg 1, cwdm 3: the game task completed
    SourceRefused,      // action 5, cg 0, cwdm 6: the game task failed at its source
    WriteFailed,        // action 5, cg 0, cwdm 5: the game task could not write its file
    Stalled,            // action p < 100, cg 0, cwdm 0: given up after the fourth stall
    ChecksFailed,       // action 100, cg 0, cwdm 0: the finished file failed its checks
    CompanionSetup,     // setupbox, from 1: the companion setup was launched
    Unrecognised,       // shaped like a report, with values the downloader never sends
    Count
};

struct PortalRequest {
    PortalEvent event = PortalEvent::None;
    std::string game;     // empty for the companion setup report
    std::string machine;  // mid; empty when the report carried none
    int percentage = 0;   // Stalled and ChecksFailed
    std::string shape;    // Unrecognised: the report's keys and values, for the operator
};

// Recognises a request of the given method and target (path and query, as
// logged) answered with status. Reports are recognised by their query wherever
// the statistics base points, unless statsPath is given: then only reports on
// that path count (the companion setup report always has its own path).
PortalRequest ClassifyRequest(const std::string& method, const std::string& target, int status,
                              const std::string& statsPath = std::string());
