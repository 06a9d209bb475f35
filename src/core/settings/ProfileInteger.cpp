#include "core/settings/ProfileInteger.h"

namespace pelkora {

namespace {

constexpr std::uint64_t kMaxUnsigned32 = 0xFFFFFFFFu;
constexpr std::uint64_t kMaxPositive32 = 0x7FFFFFFFu;
constexpr std::uint64_t kMaxNegative32 = 0x80000000u;

int digitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 99;
}

// The magnitude written in digits, or nullopt when a digit is foreign to the
// base or the number exceeds limit.
std::optional<std::uint64_t> parseDigits(std::string_view digits, int base, std::uint64_t limit) {
    if (digits.empty()) {
        return std::nullopt;
    }
    std::uint64_t magnitude = 0;
    for (const char c : digits) {
        const int digit = digitValue(c);
        if (digit >= base) {
            return std::nullopt;
        }
        magnitude =
            magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (magnitude > limit) {
            return std::nullopt;
        }
    }
    return magnitude;
}

std::optional<std::int32_t> parseHex(std::string_view digits) {
    const auto magnitude = parseDigits(digits, 16, kMaxUnsigned32);
    if (!magnitude) {
        return std::nullopt;
    }
    // Conversion to a signed type wraps modulo 2^32 since C++20.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(*magnitude));
}

std::optional<std::int32_t> parseDecimal(std::string_view text) {
    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) {
        text.remove_prefix(1);
    }
    const auto magnitude = parseDigits(text, 10, negative ? kMaxNegative32 : kMaxPositive32);
    if (!magnitude) {
        return std::nullopt;
    }
    const auto value = static_cast<std::int64_t>(*magnitude);
    return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace

std::optional<std::int32_t> parseProfileInteger(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        return parseHex(text.substr(2));
    }
    if (text.starts_with('$')) {
        return parseHex(text.substr(1));
    }
    return parseDecimal(text);
}

std::int32_t readProfileInteger(ProfileStore& store, const std::string& file,
                                const std::string& section, const std::string& key,
                                std::int32_t def) {
    // An empty default cannot parse, so a missing key falls through to def.
    return parseProfileInteger(store.readString(file, section, key, "")).value_or(def);
}

void writeProfileInteger(ProfileStore& store, const std::string& file, const std::string& section,
                         const std::string& key, std::int32_t value) {
    store.writeString(file, section, key, std::to_string(value));
}

bool readProfileBool(ProfileStore& store, const std::string& file, const std::string& section,
                     const std::string& key, bool def) {
    return readProfileInteger(store, file, section, key, def ? 1 : 0) != 0;
}

void writeProfileBool(ProfileStore& store, const std::string& file, const std::string& section,
                      const std::string& key, bool value) {
    store.writeString(file, section, key, value ? "1" : "0");
}

}  // namespace pelkora
