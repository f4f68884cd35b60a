// Putting a staged publication in place so that the earlier one stays whole
// and served until the new configuration, which names everything else,
// replaces it:
//   1. the generation: the installer, its seeds and the skin go to a folder
//      of their own, games/<id>/<generation>/, which no earlier
//      configuration names (the same content is the same folder);
//   2. the files at fixed places (the stamped downloader, the nginx
//      snippets), the record, then the signature: each replaced at once (a
//      rename over the old file), the old one kept aside;
//   3. the configuration, replaced at once: from here on it is published;
//   4. the generations before the previous one are removed (downloads still
//      running on the previous configuration keep their files).
// A failure before 3 puts every replaced file back and removes the new
// generation folder when this publication made it. Tests make any step
// fail with VORLA_PUBLISH_FAIL_AT=<generation|fixed|record|signature|
// configuration|cleanup> in the environment.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct InstallPlan {
    std::filesystem::path root;     // the portal's folder
    std::filesystem::path staging;  // holds every new file at its relative path
    std::string generationFolder;   // "games/<id>/<generation>"
    std::vector<std::string> generationFiles;
    std::vector<std::string> fixedFiles;  // replaced in place, before the configuration
    std::string recordPath;
    std::string signaturePath;  // staged when the publication is signed
    bool signed_ = false;
    std::string configPath;
    std::vector<std::string> removeAfter;  // older generations' files; a stale signature
};

// Empty when everything is in place. Otherwise what failed; `*published`
// then says whether the configuration was already in place (only the
// clean-up failed) or the earlier publication was restored.
std::string InstallPublication(const InstallPlan& plan, bool* published);
