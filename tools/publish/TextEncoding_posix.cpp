#include "tools/publish/TextEncoding.h"

#include <iconv.h>

#include <cerrno>

namespace {

// One conversion descriptor, closed by its owner.
class Converter {
public:
    Converter() {
        // glibc knows Windows' table as CP936; GBK is the same but for the
        // euro sign, so it serves where CP936 is missing.
        handle_ = iconv_open("CP936", "UTF-8");
        if (handle_ == reinterpret_cast<iconv_t>(-1)) handle_ = iconv_open("GBK", "UTF-8");
    }
    ~Converter() {
        if (Valid()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // One character; false when the code page has no form for it.
    bool Convert(const std::string& utf8, std::string* out) {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        char buffer[16];
        char* in = const_cast<char*>(utf8.data());
        size_t inLeft = utf8.size();
        char* to = buffer;
        size_t toLeft = sizeof(buffer);
        if (iconv(handle_, &in, &inLeft, &to, &toLeft) == static_cast<size_t>(-1) || inLeft != 0) return false;
        if (iconv(handle_, nullptr, nullptr, &to, &toLeft) == static_cast<size_t>(-1)) return false;
        out->append(buffer, to);
        return true;
    }

private:
    iconv_t handle_;
};

}  // namespace

bool EncodeGbk(const std::string& text, std::string* out, std::u32string* unfit) {
    std::u32string codePoints;
    out->clear();
    unfit->clear();
    if (!DecodeUtf8(text, &codePoints)) return false;
    Converter converter;
    for (char32_t cp : codePoints) {
        if (cp < 0x80) {
            *out += static_cast<char>(cp);
            continue;
        }
        if (converter.Valid() && converter.Convert(EncodeUtf8(cp), out)) continue;
        if (unfit->find(cp) == std::u32string::npos) *unfit += cp;
    }
    return unfit->empty();
}
