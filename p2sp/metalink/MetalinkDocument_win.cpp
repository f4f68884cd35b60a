#include "p2sp/metalink/MetalinkDocument.h"

#include "p2sp/http/HttpHeaders.h"
#include "p2sp/PieceHash.h"
#include "base/ScopedBstr.h"
#include "base/ScopedComPtr.h"

#include <windows.h>
#include <msxml2.h>
#include <objbase.h>
#include <oleauto.h>

#include <climits>
#include <cwctype>
#include <vector>

namespace {

const wchar_t kMetalinkNs[] = L"urn:ietf:params:xml:ns:metalink";
// Preferred first; the older one is used only where the newer is missing.
const wchar_t* const kParsers[] = {L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.3.0"};
// IXMLDOMDocument2 (for setProperty); the import libraries lack its IID.
const IID kIidXmlDomDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
// Far deeper than a Metalink document goes; bounds the parser's recursion.
constexpr long kMaxElementDepth = 64;

class ComApartment {
public:
    ComApartment() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~ComApartment() {
        if (ok_) CoUninitialize();
    }
    bool Ok() const { return ok_; }

private:
    bool ok_;
};

std::wstring Trimmed(std::wstring s) {
    size_t b = s.find_first_not_of(L" \t\r\n");
    if (b == std::wstring::npos) return std::wstring();
    return s.substr(b, s.find_last_not_of(L" \t\r\n") - b + 1);
}

std::string Narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s) out += c < 0x80 ? char(std::towlower(c)) : '?';
    return out;
}

bool DecodeHex(const std::wstring& text, std::vector<uint8_t>* bytes) {
    std::wstring t = Trimmed(text);
    if (t.empty() || t.size() % 2) return false;
    bytes->clear();
    for (size_t i = 0; i < t.size(); i += 2) {
        int v = 0;
        for (size_t k = i; k < i + 2; ++k) {
            wchar_t c = wchar_t(std::towlower(t[k]));
            int d = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
            if (d < 0) return false;
            v = v * 16 + d;
        }
        bytes->push_back(uint8_t(v));
    }
    return true;
}

// A size or piece length: decimal digits only (no sign, no base prefix),
// at most kMaxSeedSize.
bool ParseSize(const std::wstring& text, uint64_t* value) {
    uint64_t v = 0;
    if (!ParseDecimalU64(Narrow(text), &v) || v > kMaxSeedSize) return false;
    *value = v;
    return true;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring LocalName(IXMLDOMNode* node) {
    ScopedBstr name, ns;
    node->get_baseName(name.Receive());
    node->get_namespaceURI(ns.Receive());
    return ns.Text() == kMetalinkNs ? name.Text() : std::wstring();
}

std::wstring Attribute(IXMLDOMNode* node, const wchar_t* name) {
    ScopedComPtr<IXMLDOMElement> element;
    if (FAILED(node->QueryInterface(IID_IXMLDOMElement, element.ReceiveVoid()))) return L"";
    VARIANT value;
    VariantInit(&value);
    std::wstring text;
    ScopedBstr attribute(name);
    if (element->getAttribute(attribute.Get(), &value) == S_OK && value.vt == VT_BSTR)
        text = std::wstring(value.bstrVal, SysStringLen(value.bstrVal));
    VariantClear(&value);
    return text;
}

std::wstring Text(IXMLDOMNode* node) {
    ScopedBstr text;
    node->get_text(text.Receive());
    return Trimmed(text.Text());
}

// Calls `visit` for every element child of `parent` in the Metalink namespace.
template <typename Visit>
void ForEachChild(IXMLDOMNode* parent, Visit visit) {
    ScopedComPtr<IXMLDOMNodeList> children;
    if (FAILED(parent->get_childNodes(children.Receive())) || !children.Get()) return;
    long count = 0;
    children->get_length(&count);
    for (long i = 0; i < count; ++i) {
        ScopedComPtr<IXMLDOMNode> child;
        if (children->get_item(i, child.Receive()) != S_OK) continue;
        DOMNodeType type;
        if (FAILED(child->get_nodeType(&type)) || type != NODE_ELEMENT) continue;
        std::wstring name = LocalName(child.Get());
        if (!name.empty()) visit(name, child.Get());
    }
}

// Fills `table` from one <file> element; false when a field is malformed.
bool ReadFileEntry(IXMLDOMNode* file, PieceTable* table) {
    bool ok = true;
    bool haveSize = false;
    ForEachChild(file, [&](const std::wstring& name, IXMLDOMNode* node) {
        if (name == L"size") {
            haveSize = ParseSize(Text(node), &table->size);
        } else if (name == L"hash") {
            std::string type = Narrow(Attribute(node, L"type"));
            std::vector<uint8_t> value;
            // The strongest whole-file hash the platform computes.
            if (PieceHash::Supported(type) && DecodeHex(Text(node), &value) &&
                (table->hashType.empty() || type > table->hashType)) {
                table->hashType = type;
                table->fileHash = value;
            }
        } else if (name == L"pieces") {
            std::string type = Narrow(Attribute(node, L"type"));
            uint64_t pieceLength = 0;
            if (!PieceHash::Supported(type) || !ParseSize(Attribute(node, L"length"), &pieceLength) ||
                pieceLength == 0)
                return;
            std::vector<std::vector<uint8_t>> hashes;
            ForEachChild(node, [&](const std::wstring& child, IXMLDOMNode* hash) {
                std::vector<uint8_t> value;
                if (child != L"hash") return;
                if (!DecodeHex(Text(hash), &value)) ok = false;
                hashes.push_back(value);
            });
            table->pieceHashType = type;
            table->pieceLength = pieceLength;
            table->pieceHashes = std::move(hashes);
        } else if (name == L"url") {
            std::wstring url = Text(node);
            if (url.compare(0, 7, L"http://") == 0 || url.compare(0, 8, L"https://") == 0)
                table->mirrors.push_back(url);
        }
    });
    if (!ok || !haveSize || table->size == 0) return false;
    // Pieces that do not add up to the file are no use for checking it.
    if (table->pieceLength && !table->HasPieces()) {
        table->pieceLength = 0;
        table->pieceHashes.clear();
    }
    return true;
}

// The document as text for the parser: valid UTF-8 only (a leading byte
// order mark dropped), with no document type declaration. The parser gets
// exactly this text, so no declared encoding can show it other characters.
bool DocumentText(const std::string& body, std::wstring* text) {
    size_t skip = body.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    if (body.size() <= skip || body.size() - skip > size_t(INT_MAX)) return false;
    const char* bytes = body.data() + skip;
    const int length = int(body.size() - skip);
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, length, nullptr, 0);
    if (n <= 0) return false;
    text->assign(size_t(n), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, length, &(*text)[0], n) != n) return false;
    if (text->find(L'\0') != std::wstring::npos) return false;
    const std::wstring doctype = L"<!doctype";
    for (size_t at = text->find(L"<!"); at != std::wstring::npos; at = text->find(L"<!", at + 2)) {
        size_t k = 0;
        while (k < doctype.size() && at + k < text->size() && wchar_t(std::towlower((*text)[at + k])) == doctype[k]) ++k;
        if (k == doctype.size()) return false;
    }
    return true;
}

// Parser settings that hold whatever its version's defaults: no DTD at all,
// nothing external fetched, a bounded depth. False when the parser cannot
// promise the first two.
bool Harden(IXMLDOMDocument2* document) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BOOL;
    value.boolVal = VARIANT_TRUE;
    ScopedBstr prohibitDtd(L"ProhibitDTD");
    if (FAILED(document->setProperty(prohibitDtd.Get(), value))) return false;
    if (FAILED(document->put_resolveExternals(VARIANT_FALSE))) return false;
    document->put_async(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    // Older parsers may not know the depth limit; the document is checked
    // for a DTD before, and this only bounds the parser's own recursion.
    VARIANT depth;
    VariantInit(&depth);
    depth.vt = VT_I4;
    depth.lVal = kMaxElementDepth;
    ScopedBstr maxDepth(L"MaxElementDepth");
    document->setProperty(maxDepth.Get(), depth);
    return true;
}

enum class ParseResult { kFound, kRefused, kNoParser };

ParseResult Parse(const wchar_t* progId, const std::wstring& text, const std::wstring& wanted,
                  const std::wstring& alsoWanted, PieceTable* table) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(progId, &clsid))) return ParseResult::kNoParser;
    ScopedComPtr<IXMLDOMDocument2> document;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument2,
                                document.ReceiveVoid())))
        return ParseResult::kNoParser;
    if (!Harden(document.Get())) return ParseResult::kRefused;
    ScopedBstr xml(text);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (document->loadXML(xml.Get(), &loaded) != S_OK || loaded != VARIANT_TRUE) return ParseResult::kRefused;
    ScopedComPtr<IXMLDOMDocumentType> doctype;
    if (document->get_doctype(doctype.Receive()) == S_OK && doctype.Get()) return ParseResult::kRefused;
    ScopedComPtr<IXMLDOMElement> root;
    if (document->get_documentElement(root.Receive()) != S_OK || LocalName(root.Get()) != L"metalink")
        return ParseResult::kRefused;
    bool found = false;
    ForEachChild(root.Get(), [&](const std::wstring& name, IXMLDOMNode* node) {
        if (found || name != L"file") return;
        std::wstring fileName = LastPathSegment(Attribute(node, L"name"));
        if (!SameName(fileName, wanted) && !SameName(fileName, alsoWanted)) return;
        PieceTable candidate;
        candidate.name = Narrow(fileName);
        if (ReadFileEntry(node, &candidate)) {
            *table = std::move(candidate);
            found = true;
        }
    });
    return found ? ParseResult::kFound : ParseResult::kRefused;
}

}  // namespace

std::wstring LastPathSegment(const std::wstring& s) {
    std::wstring path = s.substr(0, s.find_first_of(L"?#"));
    size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool ParseMetalinkDocumentWith(const wchar_t* parserProgId, const std::string& body, const std::wstring& wanted,
                               const std::wstring& alsoWanted, PieceTable* table) {
    std::wstring text;
    if (!DocumentText(body, &text)) return false;
    ComApartment com;
    if (!com.Ok()) return false;
    return Parse(parserProgId, text, wanted, alsoWanted, table) == ParseResult::kFound;
}

bool ParseMetalinkDocument(const std::string& body, const std::wstring& wanted, const std::wstring& alsoWanted,
                           PieceTable* table) {
    std::wstring text;
    if (!DocumentText(body, &text)) return false;
    ComApartment com;
    if (!com.Ok()) return false;
    for (const wchar_t* parser : kParsers) {
        ParseResult result = Parse(parser, text, wanted, alsoWanted, table);
        if (result != ParseResult::kNoParser) return result == ParseResult::kFound;
    }
    return false;
}
