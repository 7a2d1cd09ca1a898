#include "textfile/cached_code_page.h"

#include <algorithm>
#include <cstring>

#include "textfile/text_stream.h"
#include "textfile/utf8.h"

namespace zarn {

namespace {

using unit_bytes::kByAuthority;
using unit_bytes::kCountShift;
using unit_bytes::Count;
using unit_bytes::kReplaced;
using unit_bytes::Ready;

bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

}  // namespace

TCachedCodePage::TCachedCodePage(TCodePage& authority, const TKernels& kernels)
    : authority_(authority), isUtf8_(authority.IsUtf8()), encoded_(0x10000, 0), kernels_(kernels) {
    asciiEncodesAsItself_ = true;
    for (char16_t unit = 0; unit < 0x80; ++unit) {
        const std::uint32_t entry = Encoded(unit);
        asciiEncodesAsItself_ &= entry == (std::uint32_t{1} << kCountShift | unit);
    }
}

std::size_t TCachedCodePage::Decode(std::string_view bytes, char16_t* out) {
    if (isUtf8_) {
        if (const auto count = DecodeUtf8(bytes, out)) return *count;
    }
    return authority_.Decode(bytes, out);
}

// Asks the authority for the 256 units of the unit's page, one by one: its bytes, and whether it
// replaces the unit.
std::uint32_t TCachedCodePage::FillEncodedPage(char16_t unit) {
    const std::size_t first = unit & 0xFF00;
    char bytes[8];
    for (std::size_t i = first; i < first + 0x100; ++i) {
        const char16_t each = static_cast<char16_t>(i);
        std::uint32_t entry = kByAuthority;
        if (!IsSurrogate(each) && authority_.MaxBytesPerUnit() <= sizeof bytes) {
            const std::size_t count = authority_.Encode(std::u16string_view(&each, 1), bytes);
            if (count >= 1 && count <= 3) {
                entry = static_cast<std::uint32_t>(count) << kCountShift;
                for (std::size_t k = 0; k < count; ++k) entry |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[k])) << (8 * k);
                if (authority_.Replaces(std::u16string_view(&each, 1))) entry |= kReplaced;
            }
        }
        encoded_[i] = entry;
    }
    return encoded_[unit];
}

std::size_t TCachedCodePage::Encode(std::u16string_view text, char* out) {
    TReplacements replaced;
    return Encode(text, out, replaced);
}

std::size_t TCachedCodePage::Encode(std::u16string_view text, char* out, TReplacements& replaced) {
    const char16_t* const units = text.data();
    const std::size_t n = text.size();
    // While this many units are left, four bytes fit at the output: each unit's bytes are stored
    // as one word.
    const std::size_t roomForWord = (4 + MaxBytesPerUnit() - 1) / MaxBytesPerUnit();
    char* o = out;
    for (std::size_t i = 0; i < n;) {
        // The units whose entries are ready, by the kernel, as far as a word fits.
        if (i + roomForWord <= n) {
            std::size_t written = 0;
            i += kernels_.encodeUnits(units + i, n - i - (roomForWord - 1), o, encoded_.data(), asciiEncodesAsItself_, written);
            o += written;
        }
        if (i == n) break;
        const std::uint32_t entry = Encoded(units[i]);
        if (entry & kByAuthority) {
            // The run of units that the authority answers, in one piece: a surrogate pair is
            // encoded whole. Where it holds the first replaced character, its bytes are found by
            // encoding what comes before it again.
            std::size_t j = i + 1;
            while (j < n && (Encoded(units[j]) & kByAuthority)) ++j;
            const std::u16string_view run = text.substr(i, j - i);
            char* const start = o;
            o += authority_.Encode(run, o);
            std::size_t before = 0;
            ForEachCharacter(run, [&](std::u16string_view character) {
                if (authority_.Replaces(character)) {
                    std::size_t at = 0;
                    if (replaced.count == 0 && before > 0) {
                        std::string prefix(before * MaxBytesPerUnit(), '\0');
                        at = authority_.Encode(run.substr(0, before), prefix.data());
                    }
                    AddReplaced(replaced, character, static_cast<std::size_t>(start - out) + at);
                }
                before += character.size();
                return true;
            });
            i = j;
            continue;
        }
        if (entry & kReplaced) AddReplaced(replaced, text.substr(i, 1), static_cast<std::size_t>(o - out));
        for (std::size_t k = 0; k < Count(entry); ++k) *o++ = static_cast<char>(entry >> (8 * k));
        ++i;
    }
    return static_cast<std::size_t>(o - out);
}

bool TCachedCodePage::Replaces(std::u16string_view character) {
    if (character.size() == 1) {
        const std::uint32_t entry = Encoded(character[0]);
        if (!(entry & kByAuthority)) return (entry & kReplaced) != 0;
    }
    return authority_.Replaces(character);
}

// One character, any way, up to stop. Fails where the bytes cannot be encoded straight away.
TCachedCodePage::TLane TCachedCodePage::CarefulStep(TLane lane, const unsigned char* stop) {
    const unsigned char* const p = lane.p;
    // One, two or three bytes by the first; four bytes (a surrogate pair: the authority's) and
    // bytes that begin nothing are declined. The decoder judges whether they are well-formed.
    const std::size_t length = p[0] < 0x80 ? 1 : p[0] < 0xC0 ? 0 : p[0] < 0xE0 ? 2 : p[0] < 0xF0 ? 3 : 0;
    char16_t units[4];  // the decoder may write a unit for every byte
    if (length == 0 || static_cast<std::size_t>(stop - p) < length ||
        DecodeUtf8(std::string_view(reinterpret_cast<const char*>(p), length), units) != 1) {
        return {p, lane.o, false};
    }
    const std::uint32_t entry = Encoded(units[0]);
    if (entry & (kByAuthority | kReplaced) || Count(entry) > length) return {p, lane.o, false};
    for (std::size_t k = 0; k < Count(entry); ++k) lane.o[k] = static_cast<char>(entry >> (8 * k));
    return {p + length, lane.o + Count(entry), true};
}

std::optional<std::size_t> TCachedCodePage::EncodeUtf8(std::string_view bytes, char* out) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = p + bytes.size();
    const std::uint32_t* const encoded = encoded_.data();
    char* o = out;  // never ahead of p: no character gives more bytes than it has
    const unsigned char* windowsFrom = p;  // 64 bytes at a time from here on, where they can be
    while (p < end) {
        if (asciiEncodesAsItself_ && p >= windowsFrom && end - p >= 128) {
            std::size_t written = 0;
            p += kernels_.encodeUtf8(p, static_cast<std::size_t>(end - p), o, encoded, written);
            o += written;
            windowsFrom = p + 64;  // these bytes one character at a time
        }
        // A run of ASCII, where ASCII is written as itself, as it is.
        if (asciiEncodesAsItself_) {
            const std::size_t run = kernels_.asciiRun(p, static_cast<std::size_t>(end - p));
            CopyBytes(o, reinterpret_cast<const char*>(p), run);
            p += run;
            o += run;
        }
        // While four bytes can be read and stored: three-byte characters (most of Japanese text)
        // and ASCII whose entries are ready; a run of ASCII written as itself goes back above.
        while (end - p >= 4) {
            std::uint32_t word;
            std::memcpy(&word, p, 4);
            const std::uint32_t lead = word & 0xFF;
            const std::uint32_t code3 = Utf8Unit3(word);
            const bool ascii = lead < 0x80;
            const bool three = (lead & 0xF0) == 0xE0 && (word & 0xC0C000) == 0x808000 && code3 >= 0x800 &&
                               code3 - 0xD800 >= 0x800;
            if (!ascii && !three) break;
            if (asciiEncodesAsItself_ && (word & 0x8080) == 0) break;  // two ASCII bytes: a run
            const std::uint32_t entry = encoded[ascii ? lead : code3];
            if (!Ready(entry)) break;
            std::memcpy(o, &entry, 4);                 // little-endian: the bytes first
            o += Count(entry);
            p += ascii ? 1 : 3;
        }
        if (p == end || (asciiEncodesAsItself_ && end - p >= 2 && (p[0] | p[1]) < 0x80)) continue;
        // Anything else, one character, the careful way.
        const TLane lane = CarefulStep({p, o, true}, end);
        if (!lane.ok) return std::nullopt;
        p = lane.p;
        o = lane.o;
    }
    return static_cast<std::size_t>(o - out);
}

}  // namespace zarn
