#include "finder/arguments.h"

#include "formats/numbers.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace finder {

namespace {

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t skipBlanks(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return i;
}

// "0x..." is hexadecimal notation, which option values never use.
bool looksHexadecimal(std::string_view text, std::size_t digitsStart) {
    return digitsStart + 1 < text.size() && text[digitsStart] == '0' &&
           (text[digitsStart + 1] == 'x' || text[digitsStart + 1] == 'X');
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

enum class Kind { Int, Float, TruncatedFloat };

struct OptionSpec {
    const char* name;
    const char* label;
    Kind kind;
    std::int32_t SirrexState::*intField;
    float SirrexState::*floatField;
};

const std::array<OptionSpec, 18> kOptions{{
    {"-xs", " xs=", Kind::Int, &SirrexState::arg_xs, nullptr},
    {"-xe", " xe=", Kind::Int, &SirrexState::arg_xe, nullptr},
    {"-ys", " ys=", Kind::Int, &SirrexState::arg_ys, nullptr},
    {"-ye", " ye=", Kind::Int, &SirrexState::arg_ye, nullptr},
    {"-bs", " bs=", Kind::TruncatedFloat, &SirrexState::arg_bs, nullptr},
    {"-pl", " pl=", Kind::Float, nullptr, &SirrexState::arg_pl},
    {"-ph", " ph=", Kind::Float, nullptr, &SirrexState::arg_ph},
    {"-pt", " pt=", Kind::Float, nullptr, &SirrexState::arg_pt},
    {"-tl", " tl=", Kind::Float, nullptr, &SirrexState::arg_tl},
    {"-th", " th=", Kind::Float, nullptr, &SirrexState::arg_th},
    {"-tt", " tt=", Kind::Float, nullptr, &SirrexState::arg_tt},
    {"-ll", " ll=", Kind::Float, nullptr, &SirrexState::arg_ll},
    {"-lh", " lh=", Kind::Float, nullptr, &SirrexState::arg_lh},
    {"-lt", " lt=", Kind::Float, nullptr, &SirrexState::arg_lt},
    {"-al", " al=", Kind::Float, nullptr, &SirrexState::arg_al},
    {"-at", " at=", Kind::Float, nullptr, &SirrexState::arg_at},
    {"-mt", " mt=", Kind::Float, nullptr, &SirrexState::arg_mt},
    {"-cp", " cp=", Kind::Int, &SirrexState::arg_cp, nullptr},
}};

void refuse(std::ostream& err, const std::string& argument, const char* why) {
    err << "Bad option value " << argument << " (" << why << ")\n";
}

} // namespace

namespace {

// The leading numbers with the count of characters they take from the text.
std::optional<std::int32_t> leadingInt32Used(std::string_view text, std::size_t& used) {
    std::size_t i = skipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !isDigit(text[i]) || looksHexadecimal(text, i))
        return std::nullopt;
    long long value = 0;
    const long long limit = negative
                                ? -static_cast<long long>(std::numeric_limits<std::int32_t>::min())
                                : std::numeric_limits<std::int32_t>::max();
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit)
            return std::nullopt;
    }
    used = i;
    return static_cast<std::int32_t>(negative ? -value : value);
}

std::optional<float> leadingFloatUsed(std::string_view text, std::size_t& used) {
    const std::size_t start = skipBlanks(text);
    std::size_t i = start;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const std::size_t mantissa = i;
    if (looksHexadecimal(text, i))
        return std::nullopt;
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        std::size_t j = i + 1;
        std::size_t fraction = 0;
        while (j < text.size() && isDigit(text[j])) {
            ++j;
            ++fraction;
        }
        if (digits + fraction > 0) {
            i = j;
            digits += fraction;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j]))
                ++j;
            i = j;
        }
    }
    // from_chars takes no leading '+'.
    std::string number(text.substr(mantissa, i - mantissa));
    const bool negative = text[start] == '-';
    float value = 0.0f;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                           std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Too large is refused, beyond the range of a double as well; too small is a zero.
        if (formats::beyondDoubleRange(number))
            return std::nullopt;
        double wide = 0.0;
        std::from_chars(number.data(), number.data() + number.size(), wide,
                        std::chars_format::general);
        if (!(std::fabs(wide) < 1.0))
            return std::nullopt;
        value = 0.0f;
    } else if (ec != std::errc() || end != number.data() + number.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    used = i;
    return negative ? -value : value;
}

} // namespace

std::optional<std::int32_t> leadingInt32(std::string_view text) {
    std::size_t used = 0;
    return leadingInt32Used(text, used);
}

std::optional<float> leadingFloat(std::string_view text) {
    std::size_t used = 0;
    return leadingFloatUsed(text, used);
}

OptionReading readOption(std::string_view argument) {
    OptionReading reading;
    for (const OptionSpec& o : kOptions) {
        if (!startsWith(argument, o.name) || argument.size() < 4)
            continue;
        reading.option = &o - kOptions.data();
        static const SirrexState defaults;
        reading.defaultValue = o.kind == Kind::Float ? static_cast<double>(defaults.*o.floatField)
                                                     : defaults.*o.intField;
        const std::string_view text = argument.substr(3);
        switch (o.kind) {
        case Kind::Int: {
            reading.wholeNumber = true;
            const auto value = leadingInt32Used(text, reading.used);
            if (!value) {
                reading.refusal = "not a 32-bit whole number";
                return reading;
            }
            reading.value = *value;
            break;
        }
        case Kind::TruncatedFloat: {
            const auto value = leadingFloatUsed(text, reading.used);
            if (!value) {
                reading.refusal = "not a decimal number";
                return reading;
            }
            const float truncated = std::trunc(*value);
            if (!(truncated >= MIN_BLOCK_SIZE && truncated <= MAX_BLOCK_SIZE)) {
                reading.refusal = "box size must be 4 to 60";
                return reading;
            }
            reading.value = truncated;
            break;
        }
        case Kind::Float: {
            const auto value = leadingFloatUsed(text, reading.used);
            if (!value) {
                reading.refusal = "not a decimal number";
                return reading;
            }
            reading.value = *value;
            break;
        }
        }
        return reading;
    }
    return reading;
}

std::string formatFloat(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
}

std::string usageText() {
    return "Execute: Sirrex filein.pgm -arg1 -arg2...-argX\n"
           "\n"
           "Accepted arguments:\n"
           "******************\n"
           "-xs# (start of X axis limit in pixels)\n"
           "-xe# (end of X axis limit in pixels)\n"
           "-ys# (start of Y axis limit in pixels)\n"
           "-ye# (end of Y axis limit in pixels)\n"
           "-bs# (box size in pixel)\n"
           "-pl# (pixels organism size: lowest value)\n"
           "-ph# (pixels organism size: highest value)\n"
           "-pt# (pixels tolerance in percentage)\n"
           "-tl# (detection Threshold lowest value in percent)\n"
           "-th# (detection Threshold  highest value in percent)\n"
           "-tt# (detection Threshold  percentage)\n"
           "-ll# (organism Length lowest value)\n"
           "-lh# (organism Length highest value)\n"
           "-lt# (organism Length tolerance in percentage)\n"
           "-al# (analysis lowest value)\n"
           "-at# (analysis tolerance in percentage)\n"
           "-mt# (maximum travel between frames in pix)\n"
           "-cp# (16bit[4x4] binary comparison window for invariant shape)\n"
           "-ti# (define time mark)\n"
           "-v verbose=ON\n";
}

ArgumentsResult load_arguments(SirrexState& s, const std::vector<std::string>& args,
                               std::ostream& out, std::ostream& err) {
    if (args.size() < 2) {
        out << "internal quellmark tovik helper application\n";
        return ArgumentsResult::Done;
    }
    s.nfile = args[1];

    // The project folder is the image's folder; a folder ending in "img" gives way to its parent.
    const std::size_t slash = s.nfile.find_last_of("/\\");
    if (slash != std::string::npos && slash > 0) {
        s.project_folder = s.nfile.substr(0, slash);
        out << s.nfile << "\n" << s.project_folder << "\n";
        const std::string& f = s.project_folder;
        if (f.size() >= 3 && f.compare(f.size() - 3, 3, "img") == 0) {
            s.project_folder.erase(f.size() >= 4 ? f.size() - 4 : 0);
            out << "Project img name trimmed\n";
        }
    } else {
        s.project_folder.clear();
    }

    for (std::size_t a = 2; a < args.size(); ++a) {
        const std::string& arg = args[a];
        if (arg == "-h") {
            out << usageText();
            return ArgumentsResult::Done;
        }
        if (startsWith(arg, "-v")) {
            out << " verbose ON";
            s.verbose = true;
        } else {
            s.verbose = false;
        }
        if (startsWith(arg, "-ti") && arg.size() >= 4) {
            const auto value = leadingInt32(std::string_view(arg).substr(3));
            if (!value) {
                refuse(err, arg, "not a 32-bit whole number");
                return ArgumentsResult::Refused;
            }
            // A block header holds 23 bits of the mark: a larger or negative one would be
            // stored as another.
            if (*value < 0 || *value > formats::kMaxTimeMark) {
                refuse(err, arg, "time mark must be 0 to 8388607");
                return ArgumentsResult::Refused;
            }
            s.worm_time = *value;
            out << " time=" << s.worm_time;
        } else {
            s.worm_time = 0;
        }
        const OptionReading reading = readOption(arg);
        if (!reading.option)
            continue;
        if (!reading.refusal.empty()) {
            refuse(err, arg, reading.refusal.c_str());
            return ArgumentsResult::Refused;
        }
        const OptionSpec& o = kOptions[*reading.option];
        if (o.kind == Kind::Float) {
            s.*o.floatField = static_cast<float>(reading.value);
            out << o.label << formatFloat(s.*o.floatField);
        } else {
            s.*o.intField = static_cast<std::int32_t>(reading.value);
            out << o.label << s.*o.intField;
        }
    }

    if (s.verbose)
        out << "**end of Arguments\n" << s.project_folder << "\n";
    return ArgumentsResult::Run;
}

} // namespace finder
