#include "textfile/win32_code_page.h"

#include "win/failure.h"
#include "win/messages.h"
#include "win/utf16.h"

namespace zarn {

TWin32CodePage::TWin32CodePage(UINT codePage, DWORD decodeFlags, std::u16string invalidText)
    : codePage_(codePage), decodeFlags_(decodeFlags), invalidText_(std::move(invalidText)) {
    CPINFOEXW info;
    if (!GetCPInfoExW(codePage, 0, &info)) throw TFailure(LoadMessage(IDS_CODE_PAGE_INVALID));
    if (info.CodePage == CP_UTF8) {
        shape_.kind = TCodePageShape::TKind::Utf8;
        maxBytesPerUnit_ = 3;  // a pair of surrogates gives four bytes, two units
    } else if (info.MaxCharSize > 1) {
        shape_.kind = TCodePageShape::TKind::DoubleByte;
        for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
            for (int byte = info.LeadByte[i]; byte <= info.LeadByte[i + 1]; ++byte) shape_.leadByte[byte] = true;
        }
        maxBytesPerUnit_ = info.MaxCharSize;
    }
}

// Pieces are converted into buffers of a size known to suffice (at most one unit per byte, at
// most maxBytesPerUnit_ bytes per unit), so each conversion is one call with explicit lengths.
std::size_t TWin32CodePage::Decode(std::string_view bytes, char16_t* out) {
    if (bytes.empty()) return 0;
    // No byte gives more than one unit, so out's room of bytes.size() units always suffices.
    const int count = MultiByteToWideChar(codePage_, decodeFlags_, bytes.data(), static_cast<int>(bytes.size()),
                                          Wide(out), static_cast<int>(bytes.size()));
    if (count == 0) throw TFailure(invalidText_);
    return static_cast<std::size_t>(count);
}

std::size_t TWin32CodePage::Encode(std::u16string_view text, char* out) {
    if (text.empty()) return 0;
    const int count = WideCharToMultiByte(codePage_, 0, Wide(text.data()),
                                          static_cast<int>(text.size()), out,
                                          static_cast<int>(text.size() * maxBytesPerUnit_), nullptr, nullptr);
    if (count == 0) throw TFailure(LoadMessage(IDS_WRITE_FAILED));  // never drop text silently
    return static_cast<std::size_t>(count);
}

// Asks the platform to decode every character and to encode each result again; a character
// round-trips when it comes back as the same bytes.
void TWin32CodePage::FillRoundTripTables() {
    roundTripTablesFilled_ = true;
    singleRoundTrips_.assign(256, false);
    pairRoundTrips_.assign(256 * 256, false);
    if (shape_.kind == TCodePageShape::TKind::Utf8 || decodeFlags_ != 0) return;
    const bool doubleByte = shape_.kind == TCodePageShape::TKind::DoubleByte;
    auto isLead = [&](unsigned byte) { return doubleByte && shape_.leadByte[byte]; };
    std::vector<char16_t> units(512);
    std::string encoded(512 * maxBytesPerUnit_, '\0');

    std::string bytes;
    for (unsigned byte = 0; byte < 256; ++byte) {
        if (!isLead(byte)) bytes += static_cast<char>(byte);
    }
    if (Decode(bytes, units.data()) == bytes.size()) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const std::size_t length = Encode(std::u16string_view(&units[i], 1), encoded.data());
            singleRoundTrips_[static_cast<unsigned char>(bytes[i])] = length == 1 && encoded[0] == bytes[i];
        }
    }
    for (unsigned lead = 0; lead < 256; ++lead) {
        if (!isLead(lead)) continue;
        bytes.clear();
        for (unsigned trail = 0x40; trail < 256; ++trail) bytes += {static_cast<char>(lead), static_cast<char>(trail)};
        const std::size_t count = Decode(bytes, units.data());
        if (count != bytes.size() / 2) continue;
        const std::size_t length = Encode(std::u16string_view(units.data(), count), encoded.data());
        // Part the bytes into characters by their lead bytes and compare each with its pair.
        std::size_t pos = 0;
        for (std::size_t i = 0; i < count && pos < length; ++i) {
            const std::size_t size = isLead(static_cast<unsigned char>(encoded[pos])) ? 2 : 1;
            if (size == 2 && pos + 1 < length && encoded.compare(pos, 2, bytes, 2 * i, 2) == 0) {
                pairRoundTrips_[lead * 256 + static_cast<unsigned char>(bytes[2 * i + 1])] = true;
            }
            pos += size;
        }
    }
}

bool TWin32CodePage::RoundTrips(std::string_view bytes) {
    if (!roundTripTablesFilled_) FillRoundTripTables();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    const bool doubleByte = shape_.kind == TCodePageShape::TKind::DoubleByte;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned byte = p[i];
        if (doubleByte && shape_.leadByte[byte]) {
            if (i + 1 == n || p[i + 1] < 0x40 || !pairRoundTrips_[byte * 256 + p[i + 1]]) return false;
            ++i;
        } else if (!singleRoundTrips_[byte]) {
            return false;
        }
    }
    return true;
}

}  // namespace zarn
