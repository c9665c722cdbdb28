// The floating-point conversions of <charconv> for a standard library that
// declares but does not provide them (the WebAssembly toolchain's, emscripten
// 3.1.6), built on its C library, which rounds correctly both ways. Only
// text/chars.h includes it, and only where the standard library lacks them.
//
// Each follows the standard's contract where the shared sources rely on it:
// no leading blanks or '+', hexadecimal without "0x", the end of the longest
// match, result_out_of_range for a finite text beyond a double's range.
#pragma once

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

namespace vantrel::text::fallback {

using std::chars_format;
using std::errc;
using std::from_chars_result;
using std::ptrdiff_t;
using std::size_t;
using std::to_chars_result;
using std::uint32_t;
using std::uint64_t;

// Exact products of a 53-bit significand and a power of five.
__extension__ typedef unsigned __int128 Wide;

// Shifts of a Wide by 0 to 127 places, written out in 64-bit halves:
// WebAssembly has no 128-bit shift, and the compiler calls a routine for each
// one whose count is not a constant.
inline Wide ShiftLeft(Wide x, int n) {
    const auto low = static_cast<uint64_t>(x);
    if (n == 0) return x;
    if (n >= 64) return static_cast<Wide>(low << (n - 64)) << 64;
    const auto high = static_cast<uint64_t>(x >> 64);
    return static_cast<Wide>((high << n) | (low >> (64 - n))) << 64 | (low << n);
}

inline Wide ShiftRight(Wide x, int n) {
    const auto high = static_cast<uint64_t>(x >> 64);
    if (n == 0) return x;
    if (n >= 64) return high >> (n - 64);
    const auto low = static_cast<uint64_t>(x);
    return static_cast<Wide>(high >> n) << 64 | ((low >> n) | (high << (64 - n)));
}

// 5^s for s = 0 … 22: the scale of a 17-digit decimal, looked up rather than
// multiplied out for every value.
inline constexpr uint64_t kFives[23] = {1ULL,
                                        5ULL,
                                        25ULL,
                                        125ULL,
                                        625ULL,
                                        3125ULL,
                                        15625ULL,
                                        78125ULL,
                                        390625ULL,
                                        1953125ULL,
                                        9765625ULL,
                                        48828125ULL,
                                        244140625ULL,
                                        1220703125ULL,
                                        6103515625ULL,
                                        30517578125ULL,
                                        152587890625ULL,
                                        762939453125ULL,
                                        3814697265625ULL,
                                        19073486328125ULL,
                                        95367431640625ULL,
                                        476837158203125ULL,
                                        2384185791015625ULL};

// The `count` decimal digits of `value` (below 10^17) at `out`, two at a time
// from a table, the last eight from a 32-bit remainder: WebAssembly divides
// 64-bit numbers slowly.
inline void WriteDigits(uint64_t value, int count, char* out) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    auto low = static_cast<uint32_t>(value % 100000000U);
    auto high = static_cast<uint32_t>(value / 100000000U);  // below 10^9
    int i = count;
    for (int k = 0; k < 4 && i >= 2; ++k, i -= 2, low /= 100) {
        std::memcpy(out + i - 2, kPairs + 2 * (low % 100), 2);
    }
    if (i == 1 && count <= 8) {
        out[0] = static_cast<char>('0' + low % 10);
        return;
    }
    for (; i >= 2; i -= 2, high /= 100) std::memcpy(out + i - 2, kPairs + 2 * (high % 100), 2);
    if (i == 1) out[0] = static_cast<char>('0' + high % 10);
}

// The text printf gives for `precision` significant digits, which is what
// to_chars promises for an explicit precision.
// printf's "%.17g" for a finite non-zero double whose decimal exponent lies in
// [-5, 16], exactly and without the C library's long-double arithmetic (which
// WebAssembly emulates, slowly): the 17 digits are v·10^s = m·5^s·2^(e+s)
// rounded to an integer (ties to even, as printf), with m·5^s < 2^102 held
// exactly in 128 bits. False for any other value.
inline bool SeventeenDigits(double value, char* text, int& length) {
    int binary = 0;
    const double fraction = std::frexp(std::fabs(value), &binary);  // value = fraction·2^binary
    if (!(fraction > 0.0) || !std::isfinite(value)) return false;
    const auto m = static_cast<Wide>(std::ldexp(fraction, 53));  // exact: 53 bits
    const int e = binary - 53;
    // The decimal exponent k, from an estimate that the digits correct.
    int k = static_cast<int>(std::floor((binary - 1) * 0.30102999566398120));
    Wide digits = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int s = 16 - k;
        if (s < 0 || s > 21) return false;
        Wide p = m;
        for (int i = 0; i < s; ++i) p *= 5;
        const int shift = e + s;
        if (shift >= 0) {
            if (shift > 10) return false;  // then at least 18 digits: k is too small
            digits = ShiftLeft(p, shift);
        } else {
            const int r = -shift;
            if (r >= 120) return false;
            digits = ShiftRight(p, r);
            const Wide rest = p - ShiftLeft(digits, r);
            const Wide half = ShiftLeft(1, r - 1);
            if (rest > half || (rest == half && (digits & 1) != 0)) ++digits;
        }
        const auto low = static_cast<Wide>(10000000000000000ULL);  // 10^16
        if (digits < low) {
            --k;
        } else if (digits >= low * 10) {
            if (digits == low * 10) {  // rounded up to the next power of ten
                digits = low;
                ++k;
                break;
            }
            ++k;
        } else {
            break;
        }
        if (attempt == 2) return false;
    }
    if (k < -5 || k > 16) return false;
    char d[17];
    auto n = static_cast<uint64_t>(digits);
    for (int i = 16; i >= 0; --i, n /= 10) d[i] = static_cast<char>('0' + n % 10);
    int significant = 17;
    while (significant > 1 && d[significant - 1] == '0') --significant;
    char* out = text;
    if (value < 0) *out++ = '-';
    if (k >= -4) {  // fixed: %g's choice for -4 <= k < 17
        if (k < 0) {
            *out++ = '0';
            *out++ = '.';
            for (int i = -1; i > k; --i) *out++ = '0';
            for (int i = 0; i < significant; ++i) *out++ = d[i];
        } else {
            for (int i = 0; i <= k; ++i) *out++ = d[i];
            if (significant > k + 1) {
                *out++ = '.';
                for (int i = k + 1; i < significant; ++i) *out++ = d[i];
            }
        }
    } else {  // k = -5: d.ddde-05
        *out++ = d[0];
        if (significant > 1) {
            *out++ = '.';
            for (int i = 1; i < significant; ++i) *out++ = d[i];
        }
        std::memcpy(out, "e-05", 4);
        out += 4;
    }
    length = static_cast<int>(out - text);
    return true;
}

inline to_chars_result to_chars(char* first, char* last, double value, chars_format format,
                                int precision) {
    char fast[32];
    int fastLength = 0;
    if (format == chars_format::general && precision == 17 &&
        SeventeenDigits(value, fast, fastLength)) {
        if (fastLength > last - first) return {last, errc::value_too_large};
        std::memcpy(first, fast, static_cast<size_t>(fastLength));
        return {first + fastLength, errc{}};
    }
    const char* conversion = format == chars_format::fixed        ? "%.*f"
                             : format == chars_format::scientific ? "%.*e"
                             : format == chars_format::hex        ? "%.*a"
                                                                  : "%.*g";
    char buffer[400];
    const int length = std::snprintf(buffer, sizeof buffer, conversion, precision, value);
    if (length < 0 || length > last - first) return {last, errc::value_too_large};
    std::memcpy(first, buffer, static_cast<size_t>(length));
    return {first + length, errc{}};
}

// The fewest significant digits that read back as a finite non-zero double
// whose decimal exponent k lies in [-5, 16], exactly, without the C library.
// v·10^(16−k) = m·5^s·2^(e+s) = D + r/Q with Q = 2^q: one 128-bit product and
// shifts, as WebAssembly calls a routine for each 128-bit product or quotient.
// D has 17 digits; the n-digit neighbours of v are D / 10^(17−n) and the next
// one up, tested against the interval that rounds to v (half a gap either
// side, half of that below a power of two; its ends belong to it when the
// mantissa is even), all scaled by 4Q so that every quantity is an integer
// below 2^110. The nearer neighbour wins, a tie goes to the even one, as the
// standard asks. False for any other value.
inline bool ShortestDigits(double value, uint64_t& shortest, int& digitCount, int& k) {
    int binary = 0;
    const double fraction = std::frexp(std::fabs(value), &binary);
    if (!(fraction > 0.0) || !std::isfinite(value)) return false;
    const auto m = static_cast<uint64_t>(std::ldexp(fraction, 53));
    const int e = binary - 53;
    const bool powerOfTwo = m == (uint64_t{1} << 52);
    static constexpr uint64_t kTens[18] = {1ULL,
                                           10ULL,
                                           100ULL,
                                           1000ULL,
                                           10000ULL,
                                           100000ULL,
                                           1000000ULL,
                                           10000000ULL,
                                           100000000ULL,
                                           1000000000ULL,
                                           10000000000ULL,
                                           100000000000ULL,
                                           1000000000000ULL,
                                           10000000000000ULL,
                                           100000000000000ULL,
                                           1000000000000000ULL,
                                           10000000000000000ULL,
                                           100000000000000000ULL};
    k = static_cast<int>(std::floor((binary - 1) * 0.30102999566398120));
    int q = 0;
    Wide H = 0, D = 0, rest = 0;
    for (int attempt = 0;; ++attempt) {  // k from D in [10^16, 10^17)
        if (k < -5 || k > 16 || attempt == 3) return false;
        const int s = 16 - k;  // 0 … 21: 5^s < 2^49, m·5^s < 2^102
        const uint64_t p = kFives[s];
        Wide N = static_cast<Wide>(m) * p;
        if (e + s >= 0) {
            if (e + s > 12) return false;
            N = ShiftLeft(N, e + s);
            q = 0;
            H = ShiftLeft(p, e + s);  // 2^e·10^s: Q·(one gap)·10^s
        } else {
            if (-(e + s) > 100) return false;
            q = -(e + s);
            H = p;
        }
        D = ShiftRight(N, q);
        rest = N - ShiftLeft(D, q);
        if (D >= kTens[17]) {
            ++k;
        } else if (D < kTens[16]) {
            --k;
        } else {
            break;
        }
    }
    const Wide up = 2 * H, down = powerOfTwo ? H : 2 * H;  // 4Q·(half a gap)·10^s
    const bool even = (m & 1) == 0;
    const auto digits17 = static_cast<uint64_t>(D);
    struct Neighbours {
        Wide below, above;  // 4Q·10^s·|C·10^(17−n) − v| for C = D / 10^(17−n) and C + 1
        bool belowFits, aboveFits;
    };
    const auto neighbours = [&](int n) {
        const uint64_t unit = kTens[17 - n];
        const Wide below = (ShiftLeft(digits17 % unit, q) + rest) << 2;
        const Wide above = ShiftLeft(unit, q + 2) - below;
        return Neighbours{below, above, below < down || (even && below == down),
                          below != 0 && (above < up || (even && above == up))};
    };
    const auto fits = [&](int n) {
        const Neighbours at = neighbours(n);
        return at.belowFits || at.aboveFits;
    };
    // What fits with n digits fits with more (the n-digit neighbours are
    // (n+1)-digit numbers, the interval is whole), so the fewest digits that
    // fit are found by halving; most computed values need 15 to 17, which
    // are tried first.
    if (!fits(17)) return false;
    int fewest = 17, low = 1;
    for (int n = 16; n >= 15 && low < fewest; --n) {
        if (fits(n)) {
            fewest = n;
        } else {
            low = n + 1;
        }
    }
    while (low < fewest) {
        const int middle = (low + fewest) / 2;
        if (fits(middle)) {
            fewest = middle;
        } else {
            low = middle + 1;
        }
    }
    const int n = fewest;
    const Neighbours at = neighbours(n);
    uint64_t chosen = digits17 / kTens[17 - n];
    if (at.aboveFits &&
        (!at.belowFits || at.above < at.below || (at.above == at.below && (chosen & 1) != 0))) {
        ++chosen;
    }
    int count = n;
    if (chosen >= kTens[n]) {  // 9.99… rounded up to 10: one digit, a place higher
        chosen /= 10;
        ++k;
    }
    while (count > 1 && chosen % 10 == 0) {
        chosen /= 10;
        --count;
    }
    shortest = chosen;
    digitCount = count;
    return true;
}

// The fewest significant digits that read back as a finite value, by the C
// library: printf's "%.*e" with one digit more until strtod gives the value
// back. Its text (NUL-terminated) in `scientific`, of 40 bytes; the number of
// digits, 0 if even 17 do not read back.
inline int ShortestScientific(double value, char* scientific) {
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(scientific, 40, "%.*e", digits - 1, value);
        if (std::strtod(scientific, nullptr) == value) return digits;
    }
    return 0;
}

// The fewest significant digits that read back as the value, written fixed or
// scientific, whichever is shorter (fixed on a tie), as to_chars does.
inline to_chars_result to_chars(char* first, char* last, double value) {
    if (!std::isfinite(value) || value == 0.0) {
        return fallback::to_chars(first, last, value, chars_format::general, 1);
    }
    uint64_t digits = 0;
    int n = 0, k = 0;
    if (ShortestDigits(value, digits, n, k) && k >= -5 && k <= 16) {
        char d[17];
        WriteDigits(digits, n, d);
        const int fixedLength = k >= 0 ? (n > k + 1 ? n + 1 : k + 1) : 1 - k + n;
        const int scientificLength = n + (n > 1 ? 1 : 0) + 4;
        char text[40];
        char* out = text;
        if (value < 0) *out++ = '-';
        if (fixedLength <= scientificLength) {
            if (k < 0) {
                *out++ = '0';
                *out++ = '.';
                for (int i = -1; i > k; --i) *out++ = '0';
                for (int i = 0; i < n; ++i) *out++ = d[i];
            } else if (n < k + 1 && std::fabs(value) >= 9007199254740992.0) {
                // A whole number beyond 2^53 shows its exact digits, as printf's %.0f.
                char whole[24];
                auto integer = static_cast<uint64_t>(std::fabs(value));
                int length = 0;
                for (; integer != 0; integer /= 10)
                    whole[length++] = static_cast<char>('0' + integer % 10);
                while (length > 0) *out++ = whole[--length];
            } else {
                for (int i = 0; i <= k; ++i) *out++ = i < n ? d[i] : '0';
                if (n > k + 1) {
                    *out++ = '.';
                    for (int i = k + 1; i < n; ++i) *out++ = d[i];
                }
            }
        } else {
            *out++ = d[0];
            if (n > 1) {
                *out++ = '.';
                for (int i = 1; i < n; ++i) *out++ = d[i];
            }
            *out++ = 'e';
            *out++ = k < 0 ? '-' : '+';
            *out++ = static_cast<char>('0' + (k < 0 ? -k : k) / 10);
            *out++ = static_cast<char>('0' + (k < 0 ? -k : k) % 10);
        }
        const auto length = out - text;
        if (length > last - first) return {last, errc::value_too_large};
        std::memcpy(first, text, static_cast<size_t>(length));
        return {first + length, errc{}};
    }
    char scientific[40];
    const int count = ShortestScientific(value, scientific);
    if (count == 0) return fallback::to_chars(first, last, value, chars_format::general, 17);
    // The same digits, fixed: the decimal exponent decides the point.
    const char* e = std::strchr(scientific, 'e');
    const int exponent = std::atoi(e + 1);
    const int decimals = count - 1 - exponent;
    char fixed[400];
    std::snprintf(fixed, sizeof fixed, "%.*f", decimals > 0 ? decimals : 0, value);
    const char* text = std::strlen(fixed) <= std::strlen(scientific) ? fixed : scientific;
    const size_t length = std::strlen(text);
    if (static_cast<ptrdiff_t>(length) > last - first) return {last, errc::value_too_large};
    std::memcpy(first, text, length);
    return {first + length, errc{}};
}

// Clinger's fast path for the plain decimals that tables are made of: at most
// 15 significant digits (an exact double) scaled by at most 10^22 (another),
// so that one division or multiplication rounds the value correctly. Only a
// text that is such a number throughout; anything else goes to strtod.
inline bool FastDecimal(const char* first, const char* last, double& value) {
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const char* p = first;
    const bool negative = p != last && *p == '-';
    if (negative) ++p;
    // Every digit is taken, leading zeros too, with no test of its own: a text
    // of more than 15 digits ("0.0000000000000001") is left to strtod.
    uint64_t mantissa = 0;
    const char* const whole = p;
    for (; p != last && isDigit(*p); ++p)
        mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
    auto digits = p - whole;
    int scale = 0;
    if (p != last && *p == '.') {
        const char* const fraction = ++p;
        for (; p != last && isDigit(*p); ++p)
            mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
        digits += p - fraction;
        scale = -static_cast<int>(p - fraction);
    }
    if (digits == 0 || digits > 15) return false;
    if (p != last && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool down = p != last && *p == '-';
        if (p != last && (*p == '-' || *p == '+')) ++p;
        if (p == last) return false;
        int exponent = 0;
        for (; p != last && isDigit(*p) && exponent < 1000; ++p)
            exponent = exponent * 10 + (*p - '0');
        scale += down ? -exponent : exponent;
    }
    if (p != last || scale < -22 || scale > 22) return false;
    const double w = static_cast<double>(static_cast<int64_t>(mantissa));  // below 10^15
    const double magnitude = scale >= 0 ? w * kPowersOfTen[scale] : w / kPowersOfTen[-scale];
    value = negative ? -magnitude : magnitude;
    return true;
}

// Any other text, by the C library's strtod.
inline from_chars_result StrtodChars(const char* first, const char* last, double& value,
                                     chars_format format) {
    // strtod would skip blanks and take a sign or a "0x" of its own.
    const auto digit = [](char c, bool hex) {
        return (c >= '0' && c <= '9') || c == '.' ||
               (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    };
    const bool hex = format == chars_format::hex;
    if (first == last || *first == '+' || *first == ' ' ||
        (!digit(*first, hex) && (hex || std::strchr("iInN-", *first) == nullptr))) {
        return {first, errc::invalid_argument};
    }
    const bool negative = *first == '-';
    const char* body = negative ? first + 1 : first;
    if (body == last || !(digit(*body, hex) || (!hex && std::strchr("iInN", *body) != nullptr))) {
        return {first, errc::invalid_argument};
    }
    // A decimal "0x1p3" is the number 0 followed by other text, where strtod
    // would read hexadecimal.
    if (!hex && body + 1 < last && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
        value = negative ? -0.0 : 0.0;
        return {body + 1, errc{}};
    }
    std::string text = negative ? "-" : "";
    if (hex) text += "0x";
    text.append(body, static_cast<size_t>(last - body));
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text.c_str(), &end);
    const ptrdiff_t consumed = end - text.c_str() - (hex ? 2 : 0);
    if (consumed <= (negative ? 1 : 0)) return {first, errc::invalid_argument};
    const char* stop = first + consumed;
    // Only a result that overflowed or vanished to zero is out of range; a
    // subnormal one is a value.
    if (errno == ERANGE && (std::isinf(parsed) || parsed == 0.0)) {
        return {stop, errc::result_out_of_range};
    }
    value = parsed;
    return {stop, errc{}};
}

// Small, so that it is compiled into its callers, which read a number a
// field: the plain decimals then cost no call.
inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format format = chars_format::general) {
    if (format == chars_format::general && first != last && *first != '+' &&
        FastDecimal(first, last, value)) {
        return {last, errc{}};
    }
    return StrtodChars(first, last, value, format);
}

}  // namespace vantrel::text::fallback
