#include "tools/publish/ConfigSigner.h"

// Keys are read and configurations signed by the Linux build of the tool,
// where portals run and OpenSSL reads every form of key.
bool SignConfig(const std::string&, const std::string&, std::string*, std::string* error) {
    *error = "--sign-key needs the Linux build of vorla-publish";
    return false;
}

bool PublicKeyHex(const std::string&, std::string*, std::string* error) {
    *error = "--print-key needs the Linux build of vorla-publish";
    return false;
}
