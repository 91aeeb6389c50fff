// Reading the store's REGEDIT4 text.
#include "platform/registry/store.h"

#include "platform/base/ascii.h"

#include "platform/registry/registry.h"
#include "platform/registry/store_format.h"

#include <charconv>

namespace registry::store {

namespace {

using base::ascii::equalIgnoringCase;
using base::ascii::toLower;

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) { }

    std::optional<Store> run(std::string* error);

private:
    bool nextLine(std::string_view& line);
    bool fail(const std::string& why);
    bool keyHeader(std::string_view line);
    bool valueLine(std::string_view line);
    bool valueName(std::string_view line, std::size_t& pos, std::string& name);
    bool valueData(std::string_view rest, Value& v);
    bool dwordData(std::string_view digits, Value& v);
    bool typedHexData(std::string_view rest, Value& v);
    bool quoted(std::string_view line, std::size_t& pos, std::string& out);
    bool hexList(std::string_view rest, std::string& out);

    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t lineNumber_ = 0;
    Store store_;
    Key* current_ = nullptr;
    std::string error_;
};

bool Parser::nextLine(std::string_view& line)
{
    if (pos_ >= text_.size())
        return false;
    const std::size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) {
        line = text_.substr(pos_);
        pos_ = text_.size();
    } else {
        line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
    }
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    ++lineNumber_;
    return true;
}

bool Parser::fail(const std::string& why)
{
    error_ = "line " + std::to_string(lineNumber_) + ": " + why;
    return false;
}

std::optional<Store> Parser::run(std::string* error)
{
    auto failed = [&]() -> std::optional<Store> {
        if (error)
            *error = error_;
        return std::nullopt;
    };
    std::string_view line;
    if (!nextLine(line) || line != kHeader) {
        fail("not a REGEDIT4 store");
        return failed();
    }
    if (text_.empty() || text_.back() != '\n') {
        fail("the store ends in the middle of a line");
        return failed();
    }
    std::string_view last;
    while (nextLine(line)) {
        if (!line.empty())
            last = line;
        if (line.empty() || line.front() == ';')
            continue;
        const bool ok = line.front() == '[' ? keyHeader(line) : valueLine(line);
        if (!ok)
            return failed();
    }
    if (last != kTrailer) {
        fail("the store is incomplete");
        return failed();
    }
    return std::move(store_);
}

bool Parser::keyHeader(std::string_view line)
{
    if (line.size() < 2 || line.back() != ']')
        return fail("unterminated key name");
    std::string_view path = line.substr(1, line.size() - 2);
    const std::size_t cut = path.find('\\');
    const std::string_view rootPart = path.substr(0, cut);
    Key* key = nullptr;
    for (std::size_t r = 0; r < kRootCount; ++r) {
        if (equalIgnoringCase(rootPart, rootName(static_cast<Root>(r))))
            key = &store_.roots[r];
    }
    if (!key)
        return fail("unknown root");
    std::size_t depth = 0;
    std::size_t pos = cut;
    while (pos != std::string_view::npos) {
        const std::size_t next = path.find('\\', pos + 1);
        const std::string_view name = path.substr(pos + 1, next == std::string_view::npos ? next : next - pos - 1);
        if (name.empty() || name.size() > kMaxKeyNameLength || ++depth > kMaxKeyDepth)
            return fail("bad key name");
        key = &key->childOrCreate(std::string(name));
        pos = next;
    }
    current_ = key;
    return true;
}

bool Parser::quoted(std::string_view line, std::size_t& pos, std::string& out)
{
    // pos is on the opening quote.
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos >= line.size())
                break;
            switch (line[pos]) {
            case '\\':
                c = '\\';
                break;
            case '"':
                c = '"';
                break;
            case 'n':
                c = '\n';
                break;
            case 'r':
                c = '\r';
                break;
            default:
                return fail("unknown escape");
            }
        }
        out += c;
    }
    return fail("unterminated text");
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = toLower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool Parser::hexList(std::string_view rest, std::string& out)
{
    for (;;) {
        while (!rest.empty() && rest.back() == ' ')
            rest.remove_suffix(1);
        const bool continues = !rest.empty() && rest.back() == '\\';
        if (continues)
            rest.remove_suffix(1);
        std::size_t i = 0;
        while (i < rest.size()) {
            while (i < rest.size() && rest[i] == ' ')
                ++i;
            if (i == rest.size())
                break;
            if (i + 1 >= rest.size() || hexDigit(rest[i]) < 0 || hexDigit(rest[i + 1]) < 0)
                return fail("bad hex byte");
            out += static_cast<char>(hexDigit(rest[i]) * 16 + hexDigit(rest[i + 1]));
            if (out.size() > kMaxValueSize)
                return fail("value too large");
            i += 2;
            while (i < rest.size() && rest[i] == ' ')
                ++i;
            if (i < rest.size()) {
                if (rest[i] != ',')
                    return fail("bad hex list");
                ++i;
            }
        }
        if (!continues)
            return true;
        if (!nextLine(rest))
            return fail("hex list cut short");
    }
}

// The name at the start of LINE, "@" for the default value; POS ends after it.
bool Parser::valueName(std::string_view line, std::size_t& pos, std::string& name)
{
    if (line.front() == '@') {
        pos = 1;
        return true;
    }
    if (line.front() != '"')
        return fail("unexpected text");
    if (!quoted(line, pos, name))
        return false;
    if (name.empty() || name.size() > kMaxValueNameLength)
        return fail("bad value name");
    return true;
}

bool Parser::dwordData(std::string_view digits, Value& v)
{
    std::uint32_t d = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), d, 16);
    if (digits.empty() || digits.size() > 8 || r.ec != std::errc() || r.ptr != digits.data() + digits.size())
        return fail("bad dword");
    for (int i = 0; i < 4; ++i)
        v.data += static_cast<char>((d >> (8 * i)) & 0xFF);
    v.type = REG_DWORD;
    return true;
}

// "hex(TYPE):" and the bytes of a value of any other type.
bool Parser::typedHexData(std::string_view rest, Value& v)
{
    const std::size_t close = rest.find("):");
    if (close == std::string_view::npos)
        return fail("bad value type");
    const std::string_view digits = rest.substr(4, close - 4);
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v.type, 16);
    if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size())
        return fail("bad value type");
    return hexList(rest.substr(close + 2), v.data);
}

// The text after "=": the value's type and data.
bool Parser::valueData(std::string_view rest, Value& v)
{
    if (!rest.empty() && rest.front() == '"') {
        std::size_t p = 0;
        if (!quoted(rest, p, v.data))
            return false;
        if (p != rest.size())
            return fail("text after a string");
        v.data += '\0';
        v.type = REG_SZ;
        return true;
    }
    if (rest.substr(0, 6) == "dword:")
        return dwordData(rest.substr(6), v);
    if (rest.substr(0, 4) == "hex:") {
        v.type = REG_BINARY;
        return hexList(rest.substr(4), v.data);
    }
    if (rest.substr(0, 4) == "hex(")
        return typedHexData(rest, v);
    return fail("bad value data");
}

bool Parser::valueLine(std::string_view line)
{
    if (!current_)
        return fail("value outside a key");
    Value v;
    std::size_t pos = 0;
    if (!valueName(line, pos, v.name))
        return false;
    if (pos >= line.size() || line[pos] != '=')
        return fail("missing '='");
    if (!valueData(line.substr(pos + 1), v))
        return false;
    current_->setValue(std::move(v));
    return true;
}

} // namespace

std::optional<Store> parse(std::string_view text, std::string* error)
{
    return Parser(text).run(error);
}

} // namespace registry::store
