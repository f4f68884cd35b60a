#include "Metalink.h"

#include "HttpSource.h"
#include "PieceHash.h"

#include <windows.h>
#include <msxml2.h>
#include <objbase.h>
#include <oleauto.h>

#include <cwctype>
#include <vector>

namespace {

constexpr DWORD kMaxSeedBytes = 4u << 20;
const wchar_t kMetalinkNs[] = L"urn:ietf:params:xml:ns:metalink";

// Releases a COM interface at the end of its scope.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() {
        if (p_) p_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T** Out() { return &p_; }
    T* operator->() const { return p_; }
    T* Get() const { return p_; }

private:
    T* p_ = nullptr;
};

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

class Bstr {
public:
    explicit Bstr(const std::wstring& s = std::wstring()) : b_(SysAllocStringLen(s.data(), UINT(s.size()))) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return b_; }
    BSTR* Out() {
        SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }
    std::wstring Text() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : std::wstring(); }

private:
    BSTR b_;
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

std::wstring LastSegment(const std::wstring& s) {
    std::wstring path = s.substr(0, s.find_first_of(L"?#"));
    size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring LocalName(IXMLDOMNode* node) {
    Bstr name, ns;
    node->get_baseName(name.Out());
    node->get_namespaceURI(ns.Out());
    return ns.Text() == kMetalinkNs ? name.Text() : std::wstring();
}

std::wstring Attribute(IXMLDOMNode* node, const wchar_t* name) {
    ComPtr<IXMLDOMElement> element;
    if (FAILED(node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.Out())))) return L"";
    VARIANT value;
    VariantInit(&value);
    std::wstring text;
    Bstr attribute(name);
    if (element->getAttribute(attribute.Get(), &value) == S_OK && value.vt == VT_BSTR)
        text = std::wstring(value.bstrVal, SysStringLen(value.bstrVal));
    VariantClear(&value);
    return text;
}

std::wstring Text(IXMLDOMNode* node) {
    Bstr text;
    node->get_text(text.Out());
    return Trimmed(text.Text());
}

// Calls `visit` for every element child of `parent` in the Metalink namespace.
template <typename Visit>
void ForEachChild(IXMLDOMNode* parent, Visit visit) {
    ComPtr<IXMLDOMNodeList> children;
    if (FAILED(parent->get_childNodes(children.Out())) || !children.Get()) return;
    long count = 0;
    children->get_length(&count);
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> child;
        if (children->get_item(i, child.Out()) != S_OK) continue;
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
            std::wstring t = Text(node);
            wchar_t* end = nullptr;
            table->size = wcstoull(t.c_str(), &end, 10);
            haveSize = !t.empty() && end && *end == 0;
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
            std::wstring length = Attribute(node, L"length");
            wchar_t* end = nullptr;
            uint64_t pieceLength = wcstoull(length.c_str(), &end, 10);
            if (!PieceHash::Supported(type) || pieceLength == 0 || !end || *end) return;
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

bool FetchDocument(const std::wstring& url, std::string* body) {
    HttpSource http;
    HttpReply reply;
    if (!http.Open() || !http.Send(url, std::string(), &reply) || reply.status != 200) return false;
    std::vector<char> buffer(64u << 10);
    for (;;) {
        DWORD got = 0;
        if (!http.Read(buffer.data(), DWORD(buffer.size()), &got)) return false;
        if (got == 0) return true;
        body->append(buffer.data(), got);
        if (body->size() > kMaxSeedBytes) return false;
    }
}

bool ParseDocument(const std::string& body, const std::wstring& wanted, const std::wstring& alsoWanted,
                   PieceTable* table) {
    ComApartment com;
    if (!com.Ok()) return false;
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"Msxml2.DOMDocument.6.0", &clsid)) &&
        FAILED(CLSIDFromProgID(L"Msxml2.DOMDocument.3.0", &clsid)))
        return false;
    ComPtr<IXMLDOMDocument> document;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(document.Out()))))
        return false;
    document->put_async(VARIANT_FALSE);
    document->put_resolveExternals(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    // The bytes as they are: the parser reads the encoding from the document.
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, ULONG(body.size()));
    if (!bytes) return false;
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(bytes, &data))) {
        memcpy(data, body.data(), body.size());
        SafeArrayUnaccessData(bytes);
    }
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_ARRAY | VT_UI1;
    source.parray = bytes;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT hr = document->load(source, &loaded);
    VariantClear(&source);
    if (hr != S_OK || loaded != VARIANT_TRUE) return false;
    ComPtr<IXMLDOMElement> root;
    if (document->get_documentElement(root.Out()) != S_OK || LocalName(root.Get()) != L"metalink") return false;
    bool found = false;
    ForEachChild(root.Get(), [&](const std::wstring& name, IXMLDOMNode* node) {
        if (found || name != L"file") return;
        std::wstring fileName = LastSegment(Attribute(node, L"name"));
        if (!SameName(fileName, wanted) && !SameName(fileName, alsoWanted)) return;
        PieceTable candidate;
        candidate.name = Narrow(fileName);
        if (ReadFileEntry(node, &candidate)) {
            *table = std::move(candidate);
            found = true;
        }
    });
    return found;
}

}  // namespace

bool LoadMetalinkSeed(const std::wstring& seedUrl, const std::wstring& taskUrl, const std::wstring& target,
                      PieceTable* table) {
    std::string body;
    if (!FetchDocument(seedUrl, &body)) return false;
    return ParseDocument(body, LastSegment(taskUrl), LastSegment(target), table);
}
