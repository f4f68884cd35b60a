#include "tools/publish/PublishInstall.h"

#include <cstdlib>
#include <utility>

#ifdef _WIN32
#include "tools/publish/WideText.h"

#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

bool StepFails(const char* step) {
    const char* chosen = std::getenv("VORLA_PUBLISH_FAIL_AT");
    return chosen && std::string(chosen) == step;
}

// `from` takes the place of `to` in one step: a reader sees the old file or
// the new one, never none.
bool ReplaceAtOnce(const fs::path& from, const fs::path& to, std::string* error) {
    std::error_code failure;
    fs::create_directories(to.parent_path(), failure);
#ifdef _WIN32
    const bool moved = ::MoveFileExW(WideFromUtf8(from.u8string()).c_str(), WideFromUtf8(to.u8string()).c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    if (!moved) failure = std::error_code(int(::GetLastError()), std::system_category());
#else
    fs::rename(from, to, failure);
#endif
    if (!failure) return true;
    *error = "cannot move " + from.u8string() + " to " + to.u8string() + ": " + failure.message();
    return false;
}

// Files replaced so far, with the old content kept aside to put back.
class Replacements {
public:
    Replacements(fs::path root, fs::path backups) : root_(std::move(root)), backups_(std::move(backups)) {}

    bool Replace(const fs::path& staged, const std::string& relative, std::string* error) {
        const fs::path target = root_ / fs::u8path(relative);
        const fs::path backup = backups_ / fs::u8path(relative);
        std::error_code failure;
        bool kept = false;
        if (fs::exists(target, failure)) {
            fs::create_directories(backup.parent_path(), failure);
            // A second name for the old file: no copy, and the target is never missing.
            fs::create_hard_link(target, backup, failure);
            if (failure) {
                failure.clear();
                fs::copy_file(target, backup, fs::copy_options::overwrite_existing, failure);
            }
            if (failure) {
                *error = "cannot keep " + target.u8string() + " aside: " + failure.message();
                return false;
            }
            kept = true;
        }
        if (!ReplaceAtOnce(staged, target, error)) return false;
        done_.push_back({target, kept ? backup : fs::path()});
        return true;
    }

    void PutBack() {
        for (auto it = done_.rbegin(); it != done_.rend(); ++it) {
            std::error_code ignored, failure;
            if (it->second.empty()) fs::remove(it->first, ignored);
            else ReplaceAtOnce(it->second, it->first, &unused_);
        }
        done_.clear();
    }

private:
    fs::path root_;
    fs::path backups_;
    std::vector<std::pair<fs::path, fs::path>> done_;  // target, its old content (empty: there was none)
    std::string unused_;
};

void RemoveEmptyFolders(fs::path folder, const fs::path& root) {
    std::error_code failure;
    while (!folder.empty() && folder != root && fs::is_empty(folder, failure) && !failure) {
        fs::remove(folder, failure);
        folder = folder.parent_path();
    }
}

}  // namespace

std::string InstallPublication(const InstallPlan& plan, bool* published) {
    *published = false;
    std::string error;
    std::error_code failure;
    const fs::path generation = plan.root / fs::u8path(plan.generationFolder);
    const bool madeGeneration = !fs::exists(generation, failure);
    Replacements replaced(plan.root, plan.staging / "earlier");
    auto fail = [&](const std::string& why) {
        replaced.PutBack();
        std::error_code ignored;
        if (madeGeneration) {
            fs::remove_all(generation, ignored);
            RemoveEmptyFolders(generation.parent_path(), plan.root);
        }
        return why;
    };

    // 1. The generation: new paths only; what the same content published
    //    before stays as it is.
    for (const std::string& file : plan.generationFiles) {
        const fs::path target = plan.root / fs::u8path(file);
        if (!madeGeneration && fs::exists(target, failure)) continue;
        if (!ReplaceAtOnce(plan.staging / fs::u8path(file), target, &error)) return fail(error);
    }
    if (StepFails("generation")) return fail("told to fail after the generation");
    // 2. Files at fixed places, the record, the signature.
    for (const std::string& file : plan.fixedFiles)
        if (!replaced.Replace(plan.staging / fs::u8path(file), file, &error)) return fail(error);
    if (StepFails("fixed")) return fail("told to fail after the fixed files");
    if (!replaced.Replace(plan.staging / fs::u8path(plan.recordPath), plan.recordPath, &error)) return fail(error);
    if (StepFails("record")) return fail("told to fail after the record");
    if (plan.signed_ &&
        !replaced.Replace(plan.staging / fs::u8path(plan.signaturePath), plan.signaturePath, &error))
        return fail(error);
    if (StepFails("signature")) return fail("told to fail after the signature");
    // 3. The configuration.
    if (StepFails("configuration")) return fail("told to fail before the configuration");
    if (!ReplaceAtOnce(plan.staging / fs::u8path(plan.configPath), plan.root / fs::u8path(plan.configPath), &error))
        return fail(error);
    *published = true;
    // 4. Older generations.
    if (StepFails("cleanup")) return "told to fail before removing older files";
    std::string left;
    for (const std::string& file : plan.removeAfter) {
        const fs::path path = plan.root / fs::u8path(file);
        fs::remove(path, failure);
        if (failure) left += "\n  " + file + ": " + failure.message();
        else RemoveEmptyFolders(path.parent_path(), plan.root);
    }
    return left.empty() ? std::string() : "cannot remove older files:" + left;
}
