#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kelvo {

// Random version-4 UUID. Identity of items and quick wins; never derived from content.
class Uuid {
public:
    static Uuid random();

    // Canonical 8-4-4-4-12 text, upper-case hexadecimal.
    std::string text() const;

    const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

    // Ids are compared, never ordered (libc++ before 17 has no three-way comparison of arrays).
    friend bool operator==(const Uuid&, const Uuid&) = default;

private:
    std::array<std::uint8_t, 16> bytes_{};
};

} // namespace kelvo
