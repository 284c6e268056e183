// Fuzz-style test: a few thousand random and mutated settings files through the reader and the
// editor, with properties checked on each (build with -DVELORA_SANITIZE=ON to run it under
// AddressSanitizer and UndefinedBehaviorSanitizer). Deterministic: the seed is fixed;
// VELORA_FUZZ_ITERATIONS and VELORA_FUZZ_SEED change the amount and the seed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "ProfileTestUtil.h"
#include "profile/Profile.h"
#include "profile/ProfileDocument.h"
#include "profile/ProfileText.h"

namespace pp = platform::profile;
using namespace profile_test;

namespace {

uint64_t EnvNumber(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr ? std::strtoull(text, nullptr, 10) : fallback;
}

const std::vector<std::u16string> kSections = {
    u"Settings",       u"HotKey", u"LastStatus", u"CustomPreset",
    u"DownloadEffect", u"音效",   u"Straße",     u"a"};
const std::vector<std::u16string> kKeys = {u"CloseBtnOperation", u"count", u"0",     u"1",
                                           u"CurrentEffect",     u"名字",  u"Ärger", u"k"};

class Fuzzer {
public:
    explicit Fuzzer(uint64_t seed) : m_rng(seed) {}

    size_t Below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(m_rng() % n); }
    bool Chance(unsigned percent) { return Below(100) < percent; }

    std::u16string Name(const std::vector<std::u16string>& pool) {
        std::u16string name = pool[Below(pool.size())];
        for (char16_t& c : name) {
            if (c < 0x80 && Chance(30)) {
                c = static_cast<char16_t>(c ^ 0x20);  // flips the case of letters
            }
        }
        if (Chance(10)) {
            name = u" " + name + u"\t";
        }
        return name;
    }

    std::u16string Unit() {
        switch (Below(6)) {
            case 0:
                return std::u16string(1, static_cast<char16_t>(Below(0x10000)));
            case 1:
                return std::u16string(1, static_cast<char16_t>(0xD800 + Below(0x800)));
            case 2:
                return std::u16string(1, static_cast<char16_t>(Below(32)));
            case 3:
                return std::u16string(1, u"[]=;\"' \t"[Below(8)]);
            default:
                return std::u16string(1, static_cast<char16_t>(u'0' + Below(75)));
        }
    }

    std::u16string Value() {
        switch (Below(6)) {
            case 0:
                return pp::FromUtf8(std::to_string(static_cast<int32_t>(m_rng())));
            case 1: {
                std::string bytes(Below(40), '\0');
                for (char& b : bytes) {
                    b = static_cast<char>(m_rng());
                }
                std::u16string text = pp::EncodeStruct(bytes.data(), bytes.size());
                if (Chance(30) && !text.empty()) {
                    text[Below(text.size())] = u"0123456789ABCDEFxa"[Below(18)];
                }
                return text;
            }
            case 2:
                return u"\"quoted\"";
            case 3:
                return u"";
            default: {
                std::u16string text;
                for (size_t n = Below(12); n > 0; --n) {
                    text += Unit();
                }
                return text;
            }
        }
    }

    std::u16string Text() {
        std::u16string text;
        for (size_t lines = Below(40); lines > 0; --lines) {
            switch (Below(8)) {
                case 0:
                case 1:
                    text += u"[" + Name(kSections) + (Chance(90) ? u"]" : u"");
                    break;
                case 2:
                    text += u"; comment " + Value();
                    break;
                case 3:
                    text += u"";
                    break;
                case 4:
                    for (size_t n = Below(20); n > 0; --n) {
                        text += Unit();
                    }
                    break;
                default:
                    text += Name(kKeys) + (Chance(95) ? u"=" : u"") + Value();
                    break;
            }
            switch (Below(10)) {
                case 0:
                    text += u"\n";
                    break;
                case 1:
                    text += u"\r\r\n";
                    break;
                case 2:
                    break;
                default:
                    text += u"\r\n";
                    break;
            }
        }
        return text;
    }

    std::string Encode(const std::u16string& text) {
        switch (Below(8)) {
            case 0:
                return pp::ToUtf8(text);
            case 1:
                return "\xEF\xBB\xBF" + pp::ToUtf8(text);
            case 2:
                return Le(text);
            case 3: {
                std::string be = "\xFE\xFF";
                for (char16_t c : text) {
                    be.push_back(static_cast<char>(c >> 8));
                    be.push_back(static_cast<char>(c & 0xFF));
                }
                return be;
            }
            default:
                return Bom() + Le(text);
        }
    }

    void Mutate(std::string& bytes) {
        for (size_t n = 1 + Below(6); n > 0; --n) {
            const size_t at = Below(bytes.size() + 1);
            switch (Below(5)) {
                case 0:
                    if (at < bytes.size()) {
                        bytes[at] = static_cast<char>(bytes[at] ^ (1 << Below(8)));
                    }
                    break;
                case 1:
                    bytes.insert(at, 1, static_cast<char>(m_rng()));
                    break;
                case 2:
                    bytes.erase(at, Below(16));
                    break;
                case 3:
                    bytes.insert(at, bytes.substr(Below(bytes.size() + 1), Below(64)));
                    break;
                default:
                    bytes.resize(at);
                    break;
            }
        }
    }

    std::string File() {
        if (Chance(10)) {
            std::string bytes(Below(2048), '\0');
            for (char& b : bytes) {
                b = static_cast<char>(m_rng());
            }
            return bytes;
        }
        std::string bytes = Encode(Text());
        if (Chance(50)) {
            Mutate(bytes);
        }
        return bytes;
    }

private:
    std::mt19937_64 m_rng;
};

using Probes = std::vector<std::optional<std::u16string>>;

Probes Probe(const pp::CProfileDocument& doc) {
    Probes values;
    for (const auto& s : kSections) {
        for (const auto& k : kKeys) {
            const auto v = doc.Find(s, k);
            values.push_back(v ? std::optional<std::u16string>(std::u16string(*v)) : std::nullopt);
        }
    }
    return values;
}

std::vector<std::u16string_view> SplitLines(std::u16string_view text) {
    std::vector<std::u16string_view> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t lf = text.find(u'\n', pos);
        const size_t end = lf == std::u16string_view::npos ? text.size() : lf + 1;
        lines.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    return lines;
}

bool IsSubsequence(const std::vector<std::u16string_view>& small,
                   const std::vector<std::u16string_view>& big) {
    size_t j = 0;
    for (const auto& line : big) {
        if (j < small.size() && small[j] == line) {
            ++j;
        }
    }
    return j == small.size();
}

TEST(ProfileFuzz, RandomAndMutatedFiles) {
    const uint64_t iterations = EnvNumber("VELORA_FUZZ_ITERATIONS", 3000);
    const uint64_t seed = EnvNumber("VELORA_FUZZ_SEED", 20260101);
    Fuzzer fuzz(seed);
    TempDir dir;
    const fs::path file = dir / "fuzz.ini";

    for (uint64_t iteration = 0; iteration < iterations; ++iteration) {
        SCOPED_TRACE("iteration " + std::to_string(iteration) + " seed " + std::to_string(seed));
        const std::string bytes = fuzz.File();
        const pp::DecodedText decoded = pp::DecodeFileBytes(bytes);
        pp::CProfileDocument doc = pp::CProfileDocument::Parse(decoded.text);

        // Lossless: the document gives back the decoded text; a UTF-16LE file with its mark
        // comes back byte for byte.
        ASSERT_EQ(doc.Text(), decoded.text);
        if (decoded.encoding == pp::FileEncoding::kUtf16Le && !decoded.droppedOddByte) {
            ASSERT_EQ(pp::EncodeUtf16LeWithBom(doc.Text()), bytes);
        }
        const Probes before = Probe(doc);
        doc.SectionNames();
        for (const auto& s : kSections) {
            doc.KeyNames(s);
        }

        // One edit, then: the edited name reads as intended, no other name changed, and the
        // text parses again to the same values.
        const std::u16string section = kSections[fuzz.Below(kSections.size())];
        const std::u16string key = kKeys[fuzz.Below(kKeys.size())];
        std::u16string value = fuzz.Value();
        if (!pp::CProfileDocument::IsValidValue(value)) {
            value = u"v";
        }
        value = std::u16string(pp::CProfileDocument::Trim(value));
        const size_t op = fuzz.Below(4);
        const std::u16string oldText = doc.Text();
        switch (op) {
            case 0:
                doc.DeleteKey(section, key);
                break;
            case 1:
                doc.DeleteSection(section);
                break;
            default:
                doc.Set(section, key, value);
                break;
        }
        const std::u16string newText = doc.Text();
        const Probes after = Probe(doc);
        ASSERT_EQ(Probe(pp::CProfileDocument::Parse(newText)), after);
        size_t index = 0;
        for (const auto& s : kSections) {
            for (const auto& k : kKeys) {
                const bool sameSection = pp::CProfileDocument::EqualNoCase(s, section);
                const bool target = sameSection && pp::CProfileDocument::EqualNoCase(k, key);
                if (op >= 2 && target) {
                    ASSERT_EQ(after[index], value);
                } else if ((op == 0 && target) || (op == 1 && sameSection)) {
                    ASSERT_FALSE(after[index].has_value());
                } else {
                    ASSERT_EQ(after[index], before[index]);
                }
                ++index;
            }
        }
        if (op >= 2) {
            // A set replaces part of one line or inserts lines: nothing before it or after it
            // that spans a line end was touched.
            size_t prefix = 0;
            while (prefix < oldText.size() && prefix < newText.size() &&
                   oldText[prefix] == newText[prefix]) {
                ++prefix;
            }
            size_t suffix = 0;
            while (suffix < oldText.size() - prefix && suffix < newText.size() - prefix &&
                   oldText[oldText.size() - 1 - suffix] == newText[newText.size() - 1 - suffix]) {
                ++suffix;
            }
            const std::u16string_view removed =
                std::u16string_view(oldText).substr(prefix, oldText.size() - prefix - suffix);
            ASSERT_EQ(removed.find(u'\n'), std::u16string_view::npos);
        } else {
            // A delete only removes whole lines.
            ASSERT_TRUE(IsSubsequence(SplitLines(newText), SplitLines(oldText)));
        }

        // Every eighth input also goes through the file functions.
        if (iteration % 8 == 0) {
            WriteBytes(file, bytes);
            size_t probe = 0;
            for (const auto& s : kSections) {
                for (const auto& k : kKeys) {
                    // The file functions read what the document model reads.
                    ASSERT_EQ(pp::ReadPrivateProfileValue(s, k, file), before[probe++]);
                    pp::GetPrivateProfileInt(s, k, 0, file);
                    pp::GetPrivateProfileString(s, k, u"", file);
                    unsigned char record[8];
                    pp::GetPrivateProfileStruct(s, k, record, sizeof record, file);
                }
            }
            bool ok = false;
            switch (op) {
                case 0:
                    ok = pp::WritePrivateProfileString(section, key, nullptr, file);
                    break;
                case 1:
                    ok = pp::WritePrivateProfileString(section, nullptr, nullptr, file);
                    break;
                default:
                    ok = pp::WritePrivateProfileString(section, key, value, file);
                    break;
            }
            ASSERT_TRUE(ok);
            if (newText != oldText) {
                ASSERT_EQ(ReadBytes(file), pp::EncodeUtf16LeWithBom(newText));
            } else {
                ASSERT_EQ(ReadBytes(file), bytes);
            }
        }
    }
}

}  // namespace
