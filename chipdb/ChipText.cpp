#include "chipdb/ChipText.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

class Converter {
  public:
    Converter(const char* to, const char* from) : handle_(::iconv_open(to, from)) {}
    ~Converter() {
        if (valid())
            ::iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of `in`; a sequence that cannot be converted becomes U+FFFD when
    // `replace` is set, else ends the conversion with false.
    bool convert(std::string_view in, std::string& out, bool replace) {
        out.clear();
        if (!valid())
            return false;
        ::iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        auto* input = const_cast<char*>(in.data());
        size_t inputLeft = in.size();
        char chunk[256];
        while (inputLeft > 0) {
            char* output = chunk;
            size_t outputLeft = sizeof chunk;
            size_t result = ::iconv(handle_, &input, &inputLeft, &output, &outputLeft);
            int error = errno;
            out.append(chunk, static_cast<size_t>(output - chunk));
            if (result != static_cast<size_t>(-1))
                continue;
            if (error == E2BIG)
                continue;
            // EILSEQ: a byte no character starts with; EINVAL: a character cut short.
            if (!replace)
                return false;
            out += kReplacement;
            ++input;
            --inputLeft;
            ::iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
        return true;
    }

  private:
    iconv_t handle_;
};

} // namespace

bool isUtf8(std::string_view bytes) {
    // RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF.
    size_t i = 0;
    while (i < bytes.size()) {
        auto lead = static_cast<unsigned char>(bytes[i]);
        size_t length = lead < 0x80   ? 1
                        : lead < 0xC2 ? 0
                        : lead < 0xE0 ? 2
                        : lead < 0xF0 ? 3
                        : lead < 0xF5 ? 4
                                      : 0;
        if (length == 0 || bytes.size() - i < length)
            return false;
        unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
        else if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
        for (size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(bytes[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
                return false;
        }
        i += length;
    }
    return true;
}

std::string chipTextForDisplay(const char* field, size_t size) {
    std::string_view bytes(field, ::strnlen(field, size));
    if (isUtf8(bytes))
        return std::string(bytes);
    Converter gb18030("UTF-8", "GB18030");
    std::string shown;
    if (gb18030.convert(bytes, shown, true))
        return shown;
    // No GB18030 converter on this system: every byte outside ASCII shows as U+FFFD.
    shown.clear();
    for (char c : bytes)
        shown += static_cast<unsigned char>(c) < 0x80 ? std::string_view(&c, 1) : kReplacement;
    return shown;
}

std::string chipTextToStore(std::string_view shown, const char* originalField, size_t size) {
    if (shown == chipTextForDisplay(originalField, size))
        return std::string(originalField, ::strnlen(originalField, size));
    return std::string(shown);
}
