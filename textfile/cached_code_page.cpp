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
using unit_bytes::kNotOwnBytes;
using unit_bytes::Ready;

bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

}  // namespace

TCachedCodePage::TCachedCodePage(TCodePage& authority, const TKernels& kernels)
    : authority_(authority), shape_(authority.Shape()), encoded_(0x10000, 0), kernels_(kernels) {
    doubleByteSets_.pairs = pairs_.data();
    if (Shape().kind != TCodePageShape::TKind::Utf8) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            const char bytes[1] = {static_cast<char>(byte)};
            if (!shape_.leadByte[byte] && DecodesToOneUnitThatComesBack(std::string_view(bytes, 1))) {
                singles_[byte >> 6] |= std::uint64_t{1} << (byte & 63);
            }
        }
        asciiRoundTrips_ = singles_[0] == ~std::uint64_t{0} && singles_[1] == ~std::uint64_t{0};
        if (Shape().kind == TCodePageShape::TKind::DoubleByte) {
            doubleByteSets_.leads = RangesOf([&](unsigned byte) { return byte >= 0x80 && shape_.leadByte[byte]; }, 4);
            doubleByteSets_.singles = RangesOf([&](unsigned byte) { return byte >= 0x80 && SingleRoundTrips(byte); });
        }
    }
    asciiEncodesAsItself_ = true;
    for (char16_t unit = 0; unit < 0x80; ++unit) {
        const std::uint32_t entry = Encoded(unit);
        asciiEncodesAsItself_ &= entry == (std::uint32_t{1} << kCountShift | unit);
    }
}

std::size_t TCachedCodePage::Decode(std::string_view bytes, char16_t* out) {
    if (Shape().kind == TCodePageShape::TKind::Utf8) {
        if (const auto count = DecodeUtf8(bytes, out)) return *count;
    }
    return authority_.Decode(bytes, out);
}

// Asks the authority for the 256 units of the unit's page, one by one. Not of its own bytes: an
// ASCII unit that gives other bytes than itself, or another unit that gives a CR, LF, NUL or
// double quote, or a byte below 0x40 within more bytes.
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
                for (std::size_t k = 0; k < count; ++k) {
                    const auto byte = static_cast<unsigned char>(bytes[k]);
                    entry |= static_cast<std::uint32_t>(byte) << (8 * k);
                    const bool seen = byte == 0 || byte == '\r' || byte == '\n' || byte == '"';
                    if (each >= 0x80 && (seen || (count > 1 && byte < 0x40))) entry |= kNotOwnBytes;
                }
                if (each < 0x80 && (count != 1 || bytes[0] != static_cast<char>(each))) entry |= kNotOwnBytes;
            }
        }
        encoded_[i] = entry;
    }
    return encoded_[unit];
}

std::size_t TCachedCodePage::Encode(std::u16string_view text, char* out) {
    const char16_t* const units = text.data();
    const std::size_t n = text.size();
    // While this many units are left, four bytes fit at the output: each unit's bytes are stored
    // as one word.
    const std::size_t roomForWord = (4 + MaxBytesPerUnit() - 1) / MaxBytesPerUnit();
    char* o = out;
    for (std::size_t i = 0; i < n;) {
        for (; i + roomForWord <= n; ++i) {
            const std::uint32_t entry = encoded_[units[i]];
            if (entry - 1 >= kByAuthority - 1) break;  // not asked yet, or the authority's
            std::memcpy(o, &entry, 4);                 // little-endian: the bytes first
            o += Count(entry);
        }
        if (i == n) break;
        const std::uint32_t entry = Encoded(units[i]);
        if (entry & kByAuthority) {
            // The run of units that the authority answers, in one piece: a surrogate pair is
            // encoded whole.
            std::size_t j = i + 1;
            while (j < n && (Encoded(units[j]) & kByAuthority)) ++j;
            o += authority_.Encode(text.substr(i, j - i), o);
            i = j;
            continue;
        }
        for (std::size_t k = 0; k < Count(entry); ++k) *o++ = static_cast<char>(entry >> (8 * k));
        ++i;
    }
    return static_cast<std::size_t>(o - out);
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
    if (entry & (kByAuthority | kNotOwnBytes) || Count(entry) > length) return {p, lane.o, false};
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

// True when the bytes decode to exactly one unit that the authority encodes as the same bytes.
bool TCachedCodePage::DecodesToOneUnitThatComesBack(std::string_view bytes) {
    char16_t units[4];
    if (authority_.Decode(bytes, units) != 1 || IsSurrogate(units[0])) return false;
    const std::uint32_t entry = Encoded(units[0]);
    if ((entry & kByAuthority) || Count(entry) != bytes.size()) return false;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        if (static_cast<unsigned char>(bytes[k]) != ((entry >> (8 * k)) & 0xFF)) return false;
    }
    return true;
}

// Asks about all pairs of the lead byte at once, when the first of them is met.
bool TCachedCodePage::PairRoundTrips(unsigned lead, unsigned trail) {
    if (!leadAsked_[lead]) {
        leadAsked_[lead] = true;
        for (unsigned each = 0x40; each < 0x100; ++each) {  // a trail below 0x40 never comes back
            const char bytes[2] = {static_cast<char>(lead), static_cast<char>(each)};
            if (DecodesToOneUnitThatComesBack(std::string_view(bytes, 2))) {
                const unsigned pair = lead << 8 | each;
                pairs_[pair >> 6] |= std::uint64_t{1} << (pair & 63);
            }
        }
    }
    return PairKnownToRoundTrip(lead << 8 | trail);
}

bool TCachedCodePage::RoundTrips(std::string_view bytes) {
    if (shape_.kind == TCodePageShape::TKind::Utf8) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    // Double-byte text 64 bytes at a time, up to its last bytes or to a character that does not
    // come back; from there one character at a time.
    if (shape_.kind == TCodePageShape::TKind::DoubleByte && asciiRoundTrips_ && doubleByteSets_.leads.count != 0) {
        if (!plainFound_) FindPlainLeads(bytes);
        std::uint64_t carry = 0;
        i = kernels_.checkDoubleBytes(p, n, doubleByteSets_, carry);
        i += carry;  // a trail, checked with its pair
    }
    const bool* const lead = shape_.leadByte.data();
    while (i < n) {
        if (asciiRoundTrips_ && i + 8 <= n) {  // eight ASCII bytes at a time
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned byte = p[i];
        if (lead[byte]) {  // only double-byte code pages have lead bytes
            if (i + 1 == n || !(PairKnownToRoundTrip(byte << 8 | p[i + 1]) || PairRoundTrips(byte, p[i + 1]))) return false;
            i += 2;
        } else {
            if (!SingleRoundTrips(byte)) return false;
            ++i;
        }
    }
    return true;
}

// Asks about every lead byte's pairs, groups the lead bytes by the trails that come back after
// them, and takes for the plain lead bytes the group whose pairs the bytes hold most (then the
// group of most lead bytes). One group checked by its set of trails is quickest: the pairs of
// any other are quicker looked up than checked by theirs.
void TCachedCodePage::FindPlainLeads(std::string_view bytes) {
    plainFound_ = true;
    using TRow = std::array<std::uint64_t, 4>;
    struct TGroup {
        TRow trails;
        std::array<bool, 256> leads{};
        std::size_t leadCount = 0, met = 0;
    };
    std::vector<TGroup> groups;
    std::array<std::size_t, 256> met{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (shape_.leadByte[byte]) ++met[byte], ++i;
    }
    for (unsigned lead = 0x80; lead < 256; ++lead) {
        if (!shape_.leadByte[lead]) continue;
        PairRoundTrips(lead, 0x40);
        TRow row;
        for (unsigned k = 0; k < 4; ++k) row[k] = pairs_[(lead << 8 | k << 6) >> 6];
        auto group = std::find_if(groups.begin(), groups.end(), [&](const TGroup& each) { return each.trails == row; });
        if (group == groups.end()) group = groups.insert(groups.end(), TGroup{row});
        group->leads[lead] = true;
        ++group->leadCount;
        group->met += met[lead];
    }
    const auto plain = std::max_element(groups.begin(), groups.end(), [](const TGroup& a, const TGroup& b) {
        return a.met != b.met ? a.met < b.met : a.leadCount < b.leadCount;
    });
    if (plain == groups.end() || plain->trails == TRow{}) return;
    const TByteRanges leads = RangesOf([&](unsigned byte) { return plain->leads[byte]; });
    const TByteRanges trails = RangesOf([&](unsigned byte) { return plain->trails[byte >> 6] >> (byte & 63) & 1; });
    if (leads.count == 0 || trails.count == 0) return;  // too many ranges: every pair is looked up
    doubleByteSets_.plainLeads = leads;
    doubleByteSets_.plainTrails = trails;
}

}  // namespace zarn
