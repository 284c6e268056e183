#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text conversions the profile files need. Inside the program text is UTF-16 (char16_t); these
// turn UTF-8 (literals, std::to_string results, JSON) into UTF-16 and back.
namespace platform::profile {

// UTF-8 to UTF-16. A byte that does not start a well-formed sequence becomes U+FFFD.
std::u16string FromUtf8(std::string_view utf8);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);

// A decoded settings file: its text and the encoding the bytes were in.
enum class FileEncoding { kEmpty, kUtf16Le, kUtf16LeNoBom, kUtf16Be, kUtf8Bom, kUtf8 };

struct DecodedText {
    std::u16string text;
    FileEncoding encoding = FileEncoding::kEmpty;
    bool droppedOddByte = false;  // a UTF-16 file with an odd byte count lost its last byte
};

// Decodes the bytes of a profile file the way Windows would, and a little more:
//  - FF FE: UTF-16LE (the only form this program writes); FE FF: UTF-16BE; EF BB BF: UTF-8;
//  - no mark, even length and the first units look like ASCII in UTF-16LE: UTF-16LE;
//  - otherwise UTF-8, where a byte outside a well-formed sequence stands for itself (Latin-1),
//    so a hand-edited ANSI file still yields its ASCII keys and values.
// Never fails; garbage decodes to garbage text.
DecodedText DecodeFileBytes(std::string_view bytes);

// UTF-16LE with a byte-order mark: what every write produces.
std::string EncodeUtf16LeWithBom(std::u16string_view text);

}  // namespace platform::profile
