// The conversions between payloads, shown text and typed values.
#include "tools/monitor/catalogue.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

std::uint32_t word_at(const unsigned char* p)
{
    std::uint32_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

std::string printf_text(const char* format, auto... args)
{
    char text[64];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

std::string fixed(double v, int decimals)
{
    // -0.0 and values that round to zero would show a lone minus sign.
    std::string text = printf_text("%.*f", decimals, v);
    if (text.starts_with('-') && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

std::string hundredths(std::uint32_t w) { return printf_text("%u.%02u", w / 100, w % 100); }

std::uint32_t float_bits(float f)
{
    std::uint32_t w;
    std::memcpy(&w, &f, sizeof w);
    return w;
}

bool parse_double(std::string_view text, double& out)
{
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end && std::isfinite(out);
}

bool parse_whole(std::string_view text, std::uint64_t& out)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out, base);
    return ec == std::errc() && ptr == end && !text.empty();
}

// Equal but for letter case ("ON", "Off").
bool same_letters(std::string_view text, std::string_view lower)
{
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != lower[i]) return false;
    return true;
}

ZvmonParsed fail(const ZvmonEntry& e, std::string_view text, const char* why)
{
    ZvmonParsed r;
    r.error = std::string(e.name) + ": '" + std::string(text) + "' " + why + " (takes " + e.takes + ")";
    return r;
}

ZvmonParsed done(std::uint32_t word)
{
    ZvmonParsed r;
    r.ok = true;
    r.word = word;
    return r;
}

// Hundredths of the typed unit, cut to whole hundredths as the program's own radio readings
// are (118.105 MHz is 11810 steps); the small addition keeps 118.10, which is 11809.99... in
// binary, at 11810.
ZvmonParsed hundredths_value(const ZvmonEntry& e, std::string_view text)
{
    double v;
    if (!parse_double(text, v)) return fail(e, text, "is not a number");
    double steps = std::floor(v * 100.0 + 1e-6);
    if (steps < std::round(e.min * 100.0) || steps > std::round(e.max * 100.0)) return fail(e, text, "is out of range");
    return done(static_cast<std::uint32_t>(steps));
}

}  // namespace

std::string zvmon_format(const ZvmonEntry& e, const unsigned char* payload)
{
    std::uint32_t w = word_at(payload);
    switch (e.show) {
    case ZvmonShow::Float: {
        if (zvmsg_kind(e.id) == ZvmsgKind::Float64) {
            double d;
            std::memcpy(&d, payload, sizeof d);
            return fixed(d, e.decimals);
        }
        float f;
        std::memcpy(&f, payload, sizeof f);
        return fixed(f, e.decimals);
    }
    case ZvmonShow::Int: return printf_text("%d", static_cast<std::int32_t>(w));
    case ZvmonShow::Word: return printf_text("%u", w);
    case ZvmonShow::Hex: return printf_text("0x%X", w);
    case ZvmonShow::Squawk: return printf_text("%04u", w);
    case ZvmonShow::Freq: return hundredths(w);
    case ZvmonShow::McpSpeed: {
        float f;
        std::memcpy(&f, payload, sizeof f);
        return fixed(f, f < 5.0f ? 3 : 0);
    }
    case ZvmonShow::RadioBlock: break;
    }
    return "";
}

std::string zvmon_format_with_unit(const ZvmonEntry& e, const unsigned char* payload)
{
    std::string text = zvmon_format(e, payload);
    if (e.show == ZvmonShow::McpSpeed) {
        float f;
        std::memcpy(&f, payload, sizeof f);
        return text + (f < 5.0f ? " Mach" : " kt");
    }
    if (e.unit[0] != '\0') text += std::string(" ") + e.unit;
    return text;
}

ZvmonParsed zvmon_parse_value(const ZvmonEntry& e, std::string_view text)
{
    switch (e.input) {
    case ZvmonInput::None: {
        ZvmonParsed r;
        r.error = std::string(e.name) + ": the program shows this value but takes none";
        return r;
    }
    case ZvmonInput::Float: {
        double v;
        if (!parse_double(text, v)) return fail(e, text, "is not a number");
        if (v < e.min || v > e.max) return fail(e, text, "is out of range");
        return done(float_bits(static_cast<float>(v)));
    }
    case ZvmonInput::Baro: {
        double v;
        if (!parse_double(text, v)) return fail(e, text, "is not a number");
        if (v >= ZVMSG_HPA_MIN && v <= ZVMSG_HPA_MAX) v /= ZVMSG_HPA_PER_INHG;
        else if (v < e.min || v > e.max) return fail(e, text, "is out of range");
        return done(float_bits(static_cast<float>(v)));
    }
    case ZvmonInput::Word: {
        if (e.max <= 2 && same_letters(text, "on")) return done(1);
        if (e.max <= 2 && same_letters(text, "off")) return done(0);
        std::uint64_t v;
        if (!parse_whole(text, v)) return fail(e, text, "is not a whole number");
        if (static_cast<double>(v) < e.min || static_cast<double>(v) > e.max) return fail(e, text, "is out of range");
        return done(static_cast<std::uint32_t>(v));
    }
    case ZvmonInput::Squawk: {
        if (text.empty() || text.size() > 4 || text.find_first_not_of("01234567") != std::string_view::npos)
            return fail(e, text, "is not a transponder code");
        std::uint64_t v;
        parse_whole(text, v);
        return done(static_cast<std::uint32_t>(v));
    }
    case ZvmonInput::Mhz: return hundredths_value(e, text);
    case ZvmonInput::Khz: return hundredths_value(e, text);
    }
    return {};
}
