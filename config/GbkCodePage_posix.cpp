#include "config/GbkCodePage.h"

#include "config/ConfigEncoding.h"

#include <iconv.h>

namespace {

// One conversion descriptor per direction and thread, closed at its end.
// glibc knows Windows' table as CP936; GBK is the same but for the euro
// sign, so it serves where CP936 is missing.
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

    // All of `input` as one character; false when the table defines none.
    bool Convert(const char* input, size_t size, std::string* out) {
        if (!Valid()) return false;
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
    bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    iconv_t handle_;
};

}  // namespace

bool EncodeGbkCharacter(char32_t codePoint, std::string* out) {
    thread_local Converter converter("CP936", "UTF-8", "GBK", "UTF-8");
    const std::string one = EncodeUtf8(codePoint);
    return converter.Convert(one.data(), one.size(), out);
}

bool DecodeGbkCharacter(const char* bytes, size_t size, std::string* out) {
    thread_local Converter converter("UTF-8", "CP936", "UTF-8", "GBK");
    return converter.Convert(bytes, size, out);
}
