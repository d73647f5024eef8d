// Test support: UTF-8 to code page 932.
#include "support/sjis.h"

#include <iconv.h>

#include <stdexcept>

namespace testsupport {

std::string sjis(const std::string& utf8)
{
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no CP932 converter");
    std::string in = utf8;
    std::string out(in.size() * 2 + 16, '\0');
    char* inp = in.data();
    size_t inleft = in.size();
    char* outp = out.data();
    size_t outleft = out.size();
    size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) throw std::runtime_error("cannot convert to CP932: " + utf8);
    out.resize(out.size() - outleft);
    return out;
}

}  // namespace testsupport
