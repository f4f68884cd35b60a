#include "tools/publish/Subprocess.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

bool IsExecutableFile(const std::string& path) {
    std::error_code ignored;
    return !path.empty() && ::access(path.c_str(), X_OK) == 0 && fs::is_regular_file(path, ignored);
}

std::string FindOnPath(const std::vector<std::string>& names) {
    const char* path = std::getenv("PATH");
    if (!path) return std::string();
    for (const std::string& name : names) {
        std::stringstream folders(path);
        std::string folder;
        while (std::getline(folders, folder, ':'))
            if (!folder.empty() && IsExecutableFile(folder + "/" + name)) return folder + "/" + name;
    }
    return std::string();
}

int RunProgram(const std::vector<std::string>& argv, std::string* output) {
    char pattern[] = "/tmp/vorla-publish-run-XXXXXX";
    const int log = ::mkstemp(pattern);
    if (log < 0) return -1;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(log, 1);
        ::dup2(log, 2);
        ::close(log);
        // Wine's own diagnostics are not ours to print unless asked for.
        ::setenv("WINEDEBUG", std::getenv("WINEDEBUG") ? std::getenv("WINEDEBUG") : "-all", 1);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(log);
    int status = 0;
    int code = -1;
    if (child > 0) {
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::ifstream in(pattern, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    *output = text.str();
    ::unlink(pattern);
    return code;
}
