#include "tools/stats/TextEncoding.h"

#include <iconv.h>

std::string GbkToUtf8(const std::string& bytes) {
    iconv_t convert = iconv_open("UTF-8", "GB18030");
    if (convert == reinterpret_cast<iconv_t>(-1)) return std::string();
    std::string out(bytes.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* to = &out[0];
    size_t toLeft = out.size();
    while (inLeft > 0) {
        if (iconv(convert, &in, &inLeft, &to, &toLeft) == static_cast<size_t>(-1)) {
            ++in;  // skip a byte it cannot read
            --inLeft;
        }
    }
    iconv_close(convert);
    out.resize(out.size() - toLeft);
    return out;
}

void PrepareConsoleForUtf8() {}  // terminals here take UTF-8
