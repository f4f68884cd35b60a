// The two seeds of a published installer: a Metalink 4 document (RFC 5854)
// for the downloader's engine and a BitTorrent v1 single-file torrent
// (BEP 3) with the portal's copies as web seeds (BEP 19).
#pragma once

#include "tools/publish/FileDigests.h"

#include <string>
#include <vector>

// UTF-8 XML: the file's name, size, whole-file SHA-256, SHA-256 pieces and
// the URLs in order of preference (the portal's copy first).
std::string BuildMetalink(const std::string& fileName, const FileDigests& digests, const std::vector<std::string>& urls);

// The torrent's bytes: info (length, name, piece length, SHA-1 pieces),
// url-list with every copy, announce when a tracker is given.
std::string BuildTorrent(const std::string& fileName, const FileDigests& digests, const std::vector<std::string>& webSeeds,
                         const std::string& tracker);

// SHA-1 of the torrent's bencoded info dictionary, in hex: what peers and
// trackers know it by.
std::string TorrentInfoHash(const std::string& fileName, const FileDigests& digests);
