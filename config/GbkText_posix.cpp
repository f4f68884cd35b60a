#include "config/GbkText.h"

#include "config/ConfigEncoding.h"

#include <iconv.h>

namespace {

// One conversion descriptor, closed by its owner. glibc knows Windows'
// table as CP936; GBK is the same but for the euro sign, so it serves
// where CP936 is missing.
class Converter {
public:
    Converter(const char* to, const char* from, const char* fallbackTo, const char* fallbackFrom) {
        handle_ = iconv_open(to, from);
        if (!Valid()) handle_ = iconv_open(fallbackTo, fallbackFrom);
    }
    ~Converter() {
        if (Valid()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // All of `input` as one character; false when it is not one the table
    // defines.
    bool Convert(const char* input, size_t size, std::string* out) {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        char buffer[16];
        char* in = const_cast<char*>(input);
        size_t inLeft = size;
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
    Converter converter("CP936", "UTF-8", "GBK", "UTF-8");
    for (char32_t cp : codePoints) {
        if (cp < 0x80) {
            *out += static_cast<char>(cp);
            continue;
        }
        const std::string one = EncodeUtf8(cp);
        if (converter.Valid() && converter.Convert(one.data(), one.size(), out)) continue;
        if (unfit->find(cp) == std::u32string::npos) *unfit += cp;
    }
    return unfit->empty();
}

std::string GbkToUtf8(const std::string& bytes) {
    Converter converter("UTF-8", "CP936", "UTF-8", "GBK");
    std::string out;
    for (size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            out += bytes[i++];
            continue;
        }
        // A character is one byte (the euro sign) or two.
        size_t used = 0;
        for (size_t size = 1; size <= 2 && i + size <= bytes.size() && used == 0; ++size)
            if (converter.Valid() && converter.Convert(&bytes[i], size, &out)) used = size;
        if (used == 0) {
            out += EncodeUtf8(0xFFFD);
            used = 1;
        }
        i += used;
    }
    return out;
}
