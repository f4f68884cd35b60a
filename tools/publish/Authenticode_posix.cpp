#include "tools/publish/Authenticode.h"

#include "tools/publish/Subprocess.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string Osslsigncode(std::string* error) {
    const std::string tool = FindOnPath({"osslsigncode"});
    if (tool.empty()) *error = "osslsigncode is not installed (Debian: apt install osslsigncode)";
    return tool;
}

// The common name of osslsigncode's "Subject: /CN=...[/...]" line.
std::string CommonName(const std::string& subject) {
    const size_t at = subject.find("/CN=");
    if (at == std::string::npos) return std::string();
    const size_t end = subject.find('/', at + 4);
    return subject.substr(at + 4, end == std::string::npos ? std::string::npos : end - at - 4);
}

}  // namespace

bool InstallerSignedBy(const std::string& path, const std::string& name, const std::string& roots,
                       std::string* why) {
    const std::string tool = Osslsigncode(why);
    if (tool.empty()) return false;
    std::vector<std::string> argv = {tool, "verify", "-in", path};
    if (!roots.empty()) argv.insert(argv.end(), {"-CAfile", roots});
    std::string output;
    const int code = RunProgram(argv, &output);
    if (code != 0 || output.find("Signature verification: ok") == std::string::npos) {
        *why = "the installer " + path + " is not signed, was changed since, or its chain is not trusted" +
               (roots.empty() ? std::string() : " under " + roots);
        return false;
    }
    // The first signer listed is the one that signed the file.
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t at = line.find("Subject: ");
        if (at == std::string::npos) continue;
        const std::string signer = CommonName(line.substr(at + 9));
        if (signer == name) return true;
        *why = "the installer " + path + " is signed by \"" + signer + "\", not by \"" + name + "\"";
        return false;
    }
    *why = "cannot tell who signed the installer " + path;
    return false;
}

bool CodeSignProgram(const std::string& path, const std::string& certificate, const std::string& key,
                     std::string* error) {
    const std::string tool = Osslsigncode(error);
    if (tool.empty()) return false;
    const std::string signedCopy = path + ".signed";
    std::string output;
    const int code =
        RunProgram({tool, "sign", "-h", "sha256", "-certs", certificate, "-key", key, "-in", path, "-out", signedCopy},
                   &output);
    std::error_code failure;
    if (code != 0) {
        fs::remove(signedCopy, failure);
        *error = "cannot sign the downloader with " + certificate + ":\n" + output;
        return false;
    }
    fs::rename(signedCopy, path, failure);
    if (failure) {
        *error = "cannot replace the downloader with its signed copy: " + failure.message();
        return false;
    }
    return true;
}
