// The file name a configured link gives its download.
#pragma once

#include <string>

// The text after the last "/" of link, cut at "?" or "#". A name that would
// not be a plain file name in a folder (a character Windows forbids in file
// names, a control character, "." or "..") is empty, and so is the name of a
// link that ends in "/".
std::wstring LinkFileName(const std::wstring& link);
