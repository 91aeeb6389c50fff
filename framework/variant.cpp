#include "framework/variant.h"

#include "framework/errors.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace ui {

namespace {

template <typename T>
std::uint64_t bitsOf(T v)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof v);
    return bits;
}

template <typename T>
T fromBits(std::uint64_t bits)
{
    T v{};
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Shortest general form with the locale's decimal separator.
std::string floatText(double v, int digits)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*G", digits, v);
    std::string s(buf);
    const QString point = QLocale().decimalPoint();
    if (point != ".")
        for (auto at = s.find('.'); at != std::string::npos; at = s.find('.', at))
            s.replace(at, 1, point.toStdString());
    return s;
}

std::string currencyText(std::int64_t scaled)
{
    const bool negative = scaled < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::string s = std::to_string(magnitude / 10000);
    std::uint64_t fraction = magnitude % 10000;
    if (fraction) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04u", static_cast<unsigned>(fraction));
        std::string digits(buf);
        digits.erase(digits.find_last_not_of('0') + 1);
        s += QLocale().decimalPoint().toStdString() + digits;
    }
    return negative ? "-" + s : s;
}

std::string dateText(double days)
{
    if (!std::isfinite(days) || std::fabs(days) > 3e6)
        throw EVariantError(kInvalidVariantConversion);
    const double whole = std::trunc(days);
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(whole));
    const auto ms = static_cast<int>(std::llround(std::fabs(days - whole) * 86400000.0));
    QLocale locale;
    std::string text = date.toString(locale.dateFormat(QLocale::ShortFormat)).toStdString();
    if (ms != 0) {
        // Appended piece by piece: GCC 12 takes " " + a temporary for an
        // overlapping copy once the hardening flags inline it (-Wrestrict).
        text += ' ';
        text += QTime::fromMSecsSinceStartOfDay(ms % 86400000).toString("hh:mm:ss").toStdString();
    }
    return text;
}

} // namespace

Variant::Variant(std::int16_t v) : type_(varSmallint), payload_(static_cast<std::uint16_t>(v)) {}
Variant::Variant(std::int32_t v) : type_(varInteger), payload_(static_cast<std::uint32_t>(v)) {}
Variant::Variant(float v) : type_(varSingle), payload_(bitsOf(v)) {}
Variant::Variant(double v) : type_(varDouble), payload_(bitsOf(v)) {}
Variant::Variant(bool v) : type_(varBoolean), payload_(v ? 0xFFFF : 0) {}
Variant::Variant(std::string text) : type_(varString), text_(std::move(text)) {}
Variant::Variant(const char* text) : Variant(std::string(text ? text : "")) {}

Variant Variant::Null()
{
    return OfKind(varNull);
}

Variant Variant::Currency(std::int64_t tenThousandths)
{
    Variant v = OfKind(varCurrency);
    v.payload_ = static_cast<std::uint64_t>(tenThousandths);
    return v;
}

Variant Variant::Date(double daysSince18991230)
{
    Variant v = OfKind(varDate);
    v.payload_ = bitsOf(daysSince18991230);
    return v;
}

Variant Variant::OfKind(std::uint16_t kind)
{
    Variant v;
    v.type_ = kind;
    return v;
}

Variant Variant::FromImage(const VariantImage& image)
{
    const auto kind = static_cast<std::uint16_t>(image[0] | (image[1] << 8));
    std::uint64_t payload = 0;
    for (int i = 7; i >= 0; --i)
        payload = (payload << 8) | image[static_cast<std::size_t>(8 + i)];
    Variant v;
    switch (kind) {
    case varEmpty:
    case varNull: v.type_ = kind; break;
    case varSmallint: v.type_ = kind; v.payload_ = payload & 0xFFFF; break;
    case varInteger:
    case varSingle: v.type_ = kind; v.payload_ = payload & 0xFFFFFFFF; break;
    case varDouble:
    case varCurrency:
    case varDate: v.type_ = kind; v.payload_ = payload; break;
    case varBoolean: v.type_ = kind; v.payload_ = (payload & 0xFFFF) ? 0xFFFF : 0; break;
    default: break; // stays empty
    }
    return v;
}

std::int16_t Variant::AsSmallint() const { return static_cast<std::int16_t>(payload_ & 0xFFFF); }
std::int32_t Variant::AsInteger() const { return static_cast<std::int32_t>(payload_ & 0xFFFFFFFF); }
float Variant::AsSingle() const { return fromBits<float>(payload_ & 0xFFFFFFFF); }
double Variant::AsDouble() const { return fromBits<double>(payload_); }
std::int64_t Variant::AsCurrency() const { return static_cast<std::int64_t>(payload_); }
bool Variant::AsBoolean() const { return (payload_ & 0xFFFF) != 0; }

VariantImage Variant::Image() const
{
    VariantImage image{};
    image[0] = static_cast<std::uint8_t>(type_ & 0xFF);
    image[1] = static_cast<std::uint8_t>(type_ >> 8);
    if (type_ != varString) {
        for (int i = 0; i < 8; ++i)
            image[static_cast<std::size_t>(8 + i)] = static_cast<std::uint8_t>(payload_ >> (8 * i));
    }
    return image;
}

std::string Variant::ToString() const
{
    switch (type_) {
    case varEmpty: return {};
    case varSmallint: return std::to_string(AsSmallint());
    case varInteger: return std::to_string(AsInteger());
    case varSingle: return floatText(AsSingle(), 7);
    case varDouble: return floatText(AsDouble(), 15);
    case varCurrency: return currencyText(AsCurrency());
    case varDate: return dateText(AsDouble());
    case varBoolean: return AsBoolean() ? "True" : "False";
    case varString: return text_;
    default: throw EVariantError(kInvalidVariantConversion);
    }
}

} // namespace ui
