// Reading a Metalink 4 document (RFC 5854) held in memory, through MSXML.
//
// Only UTF-8 documents without a document type declaration are read: a DTD
// could define entities that expand without bound or name external
// resources, and a seed needs none. The parser is told the same
// (ProhibitDTD, no external resolution), whichever MSXML version is found.
#pragma once

#include "p2sp/PieceTable.h"

#include <string>

// Fills `table` with the first <file> entry named `wanted` or `alsoWanted`
// (compared without regard to case) whose fields are sound. False when the
// document is refused, or names no such file.
bool ParseMetalinkDocument(const std::string& body, const std::wstring& wanted, const std::wstring& alsoWanted,
                           PieceTable* table);

// The last segment of a URL or path, without query or fragment.
std::wstring LastPathSegment(const std::wstring& s);

// The same with one given parser ("Msxml2.DOMDocument.6.0", ...); false as
// well when that parser is not available.
bool ParseMetalinkDocumentWith(const wchar_t* parserProgId, const std::string& body, const std::wstring& wanted,
                               const std::wstring& alsoWanted, PieceTable* table);
