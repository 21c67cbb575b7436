#include "plugin_module.h"

namespace vorlane::host {

std::u16string utf16_from_utf8(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        std::uint32_t c = 0xFFFD;
        std::size_t n = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b >> 5) == 6 && i + 1 < text.size()) {
            c = (b & 0x1Fu) << 6 | (text[i + 1] & 0x3F);
            n = 2;
        } else if ((b >> 4) == 14 && i + 2 < text.size()) {
            c = (b & 0x0Fu) << 12 | (text[i + 1] & 0x3F) << 6 | (text[i + 2] & 0x3F);
            n = 3;
        } else if ((b >> 3) == 30 && i + 3 < text.size()) {
            c = (b & 0x07u) << 18 | (text[i + 1] & 0x3F) << 12 | (text[i + 2] & 0x3F) << 6 | (text[i + 3] & 0x3F);
            n = 4;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += n;
    }
    return out;
}

}  // namespace vorlane::host
