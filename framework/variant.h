#pragma once
// The framework's tagged value: a kind code and a payload, with the 16-byte
// in-memory image (kind, three reserved words, 8-byte payload) that the
// registry component stores for floating-point, currency and date values.
#include <array>
#include <cstdint>
#include <string>

namespace ui {

enum TVarType : std::uint16_t {
    varEmpty = 0,
    varNull = 1,
    varSmallint = 2,
    varInteger = 3,
    varSingle = 4,
    varDouble = 5,
    varCurrency = 6,
    varDate = 7,
    varOleStr = 8,
    varDispatch = 9,
    varError = 10,
    varBoolean = 11,
    varVariant = 12,
    varUnknown = 13,
    varString = 0x100,
    varArray = 0x2000,
};

using VariantImage = std::array<std::uint8_t, 16>;

class Variant {
public:
    Variant() = default; // empty
    Variant(std::int16_t v);
    Variant(std::int32_t v);
    Variant(float v);
    Variant(double v);
    Variant(bool v);
    Variant(std::string text);
    Variant(const char* text);

    static Variant Null();
    static Variant Currency(std::int64_t tenThousandths);
    static Variant Date(double daysSince18991230);
    // A value of a kind this program cannot hold (an OLE string, an array...):
    // it can be passed around and refused, nothing else.
    static Variant OfKind(std::uint16_t kind);

    // The value a stored image stands for. Only kinds whose payload is plain
    // data are taken; an image claiming a text, an object or an array would
    // carry a pointer from another process and reads as empty.
    static Variant FromImage(const VariantImage& image);

    std::uint16_t VarType() const { return type_; }
    bool IsEmpty() const { return type_ == varEmpty; }
    bool IsNull() const { return type_ == varNull; }

    std::int16_t AsSmallint() const;
    std::int32_t AsInteger() const;
    float AsSingle() const;
    double AsDouble() const;
    std::int64_t AsCurrency() const; // amount × 10,000
    bool AsBoolean() const;
    const std::string& Text() const { return text_; }

    // The image: bytes 0-1 the kind (little-endian), 2-7 zero, 8-15 the payload
    // (zero for kinds without one, and for text, whose payload is no data).
    VariantImage Image() const;

    // The value as text, as the framework converts it when a text is expected:
    // empty gives "", numbers their decimal form; null and kinds without a
    // text form raise EVariantError.
    std::string ToString() const;

private:
    std::uint16_t type_ = varEmpty;
    std::uint64_t payload_ = 0; // the image's bytes 8-15, little-endian
    std::string text_;
};

// The framework's message for a conversion the variant does not allow.
inline constexpr const char* kInvalidVariantConversion = "Ungültige Varianten-Typkonvertierung";

} // namespace ui
