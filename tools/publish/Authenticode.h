// The publisher's signature on programs the portal hands out. Before a
// configuration names GameSigner, the tool makes sure the installer is
// really signed by that name; and it can sign the stamped downloader
// (after stamping, which would break an earlier signature). On Linux both
// go through osslsigncode; on Windows the check is the program's own
// (engine/PublisherCheck.h) and signing is left to the portal's tools.
#pragma once

#include <string>

// Signed, unchanged since, and its signer's certificate names `name`
// exactly. `roots` (PEM, may be empty: the system's) are the authorities
// that vouch for it on Linux; Windows uses its own store.
bool InstallerSignedBy(const std::string& path, const std::string& name, const std::string& roots,
                       std::string* why);

// Signs the program at `path` in place (SHA-256), with a certificate and
// its key in PEM.
bool CodeSignProgram(const std::string& path, const std::string& certificate, const std::string& key,
                     std::string* error);
