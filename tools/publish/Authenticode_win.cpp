#include "tools/publish/Authenticode.h"

#include "engine/PublisherCheck.h"
#include "tools/publish/WideText.h"

bool InstallerSignedBy(const std::string& path, const std::string& name, const std::string&, std::string* why) {
    switch (CheckPublisher(WideFromUtf8(path), WideFromUtf8(name))) {
    case PublisherVerdict::kTrusted: return true;
    case PublisherVerdict::kNotSigned: *why = "the installer " + path + " is not signed, or was changed since"; break;
    case PublisherVerdict::kUntrustedChain: *why = "the installer " + path + "'s signature is not trusted here"; break;
    case PublisherVerdict::kNotForCode: *why = "the installer " + path + " is signed with a certificate not for code"; break;
    case PublisherVerdict::kOtherPublisher: *why = "the installer " + path + " is not signed by \"" + name + "\""; break;
    }
    return false;
}

bool CodeSignProgram(const std::string&, const std::string&, const std::string&, std::string* error) {
    *error = "--codesign-cert needs the Linux build of vorla-publish (osslsigncode); on Windows sign the "
             "published downloader with signtool after publishing";
    return false;
}
