#include "platform/registry/store.h"

#include "platform/base/ascii.h"

#include "platform/registry/registry.h"

#include <charconv>

namespace registry::store {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
// Written last: a store cut short anywhere, even at a line boundary, lacks it.
constexpr std::string_view kTrailer = "; end";
constexpr std::size_t kHexWrap = 76;

const char* const kRootNames[kRootCount] = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_CONFIG",
};

using base::ascii::equalIgnoringCase;
using base::ascii::toLower;

// --- writing -----------------------------------------------------------------

void appendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    out += '"';
}

// A REG_SZ that fits the quoted form: one terminating zero, nothing else that
// would not survive a line of text.
bool isPlainString(const Value& v)
{
    if (v.type != REG_SZ || v.data.empty() || v.data.back() != '\0')
        return false;
    for (std::size_t i = 0; i + 1 < v.data.size(); ++i) {
        const auto c = static_cast<unsigned char>(v.data[i]);
        if (c < 0x20 && c != '\t')
            return false;
    }
    return true;
}

void appendHex(std::string& out, std::size_t lineStart, const std::string& data)
{
    static const char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
        if (i + 1 < data.size()) {
            out += ',';
            if (out.size() - lineStart > kHexWrap) {
                out += "\\\n  ";
                lineStart = out.size() - 2;
            }
        }
    }
}

void appendValue(std::string& out, const Value& v)
{
    const std::size_t lineStart = out.size();
    if (v.name.empty())
        out += '@';
    else
        appendQuoted(out, v.name);
    out += '=';
    if (isPlainString(v)) {
        appendQuoted(out, std::string_view(v.data).substr(0, v.data.size() - 1));
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        std::uint32_t d = 0;
        for (int i = 3; i >= 0; --i)
            d = (d << 8) | static_cast<unsigned char>(v.data[static_cast<std::size_t>(i)]);
        char buf[16];
        const auto r = std::to_chars(buf, buf + sizeof buf, d, 16);
        out += "dword:";
        out.append(8 - static_cast<std::size_t>(r.ptr - buf), '0');
        out.append(buf, r.ptr);
    } else {
        if (v.type == REG_BINARY) {
            out += "hex:";
        } else {
            char buf[16];
            const auto r = std::to_chars(buf, buf + sizeof buf, v.type, 16);
            out += "hex(";
            out.append(buf, r.ptr);
            out += "):";
        }
        appendHex(out, lineStart, v.data);
    }
    out += '\n';
}

void appendKey(std::string& out, const Key& key, const std::string& path, bool isRoot)
{
    if (!isRoot || !key.values().empty()) {
        out += '[';
        out += path;
        out += "]\n";
        for (const Value& v : key.values())
            appendValue(out, v);
        out += '\n';
    }
    for (const auto& [folded, child] : key.children())
        appendKey(out, *child, path + '\\' + child->name(), false);
}

// --- reading -----------------------------------------------------------------

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<Store> run(std::string* error);

private:
    bool nextLine(std::string_view& line);
    bool fail(const std::string& why);
    bool keyHeader(std::string_view line);
    bool valueLine(std::string_view line);
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
        if (equalIgnoringCase(rootPart, kRootNames[r]))
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
            case '\\': c = '\\'; break;
            case '"': c = '"'; break;
            case 'n': c = '\n'; break;
            case 'r': c = '\r'; break;
            default: return fail("unknown escape");
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

bool Parser::valueLine(std::string_view line)
{
    if (!current_)
        return fail("value outside a key");
    Value v;
    std::size_t pos = 0;
    if (line.front() == '@') {
        pos = 1;
    } else if (line.front() == '"') {
        if (!quoted(line, pos, v.name))
            return false;
        if (v.name.empty() || v.name.size() > kMaxValueNameLength)
            return fail("bad value name");
    } else {
        return fail("unexpected text");
    }
    if (pos >= line.size() || line[pos] != '=')
        return fail("missing '='");
    std::string_view rest = line.substr(pos + 1);
    if (!rest.empty() && rest.front() == '"') {
        std::size_t p = 0;
        if (!quoted(rest, p, v.data))
            return false;
        if (p != rest.size())
            return fail("text after a string");
        v.data += '\0';
        v.type = REG_SZ;
    } else if (rest.substr(0, 6) == "dword:") {
        const std::string_view digits = rest.substr(6);
        std::uint32_t d = 0;
        const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), d, 16);
        if (digits.empty() || digits.size() > 8 || r.ec != std::errc() || r.ptr != digits.data() + digits.size())
            return fail("bad dword");
        for (int i = 0; i < 4; ++i)
            v.data += static_cast<char>((d >> (8 * i)) & 0xFF);
        v.type = REG_DWORD;
    } else if (rest.substr(0, 4) == "hex:") {
        v.type = REG_BINARY;
        if (!hexList(rest.substr(4), v.data))
            return false;
    } else if (rest.substr(0, 4) == "hex(") {
        const std::size_t close = rest.find("):");
        if (close == std::string_view::npos)
            return fail("bad value type");
        const std::string_view digits = rest.substr(4, close - 4);
        const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v.type, 16);
        if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size())
            return fail("bad value type");
        if (!hexList(rest.substr(close + 2), v.data))
            return false;
    } else {
        return fail("bad value data");
    }
    current_->setValue(std::move(v));
    return true;
}

} // namespace

std::string foldCase(std::string_view name)
{
    std::string folded(name);
    for (char& c : folded)
        c = toLower(c);
    return folded;
}

Key* Key::child(std::string_view name)
{
    const auto it = children_.find(foldCase(name));
    return it == children_.end() ? nullptr : it->second.get();
}

const Key* Key::child(std::string_view name) const
{
    return const_cast<Key*>(this)->child(name);
}

Key& Key::childOrCreate(const std::string& name)
{
    auto& slot = children_[foldCase(name)];
    if (!slot)
        slot = std::make_unique<Key>(name);
    return *slot;
}

const Value* Key::value(std::string_view name) const
{
    for (const Value& v : values_) {
        if (equalIgnoringCase(v.name, name))
            return &v;
    }
    return nullptr;
}

void Key::setValue(Value value)
{
    for (Value& v : values_) {
        if (equalIgnoringCase(v.name, value.name)) {
            // The name keeps the spelling it was created with.
            v.type = value.type;
            v.data = std::move(value.data);
            return;
        }
    }
    values_.push_back(std::move(value));
}

const char* rootName(Root root)
{
    return kRootNames[static_cast<std::size_t>(root)];
}

std::optional<Store> parse(std::string_view text, std::string* error)
{
    return Parser(text).run(error);
}

std::string serialize(const Store& store)
{
    std::string out(kHeader);
    out += "\n\n";
    for (std::size_t r = 0; r < kRootCount; ++r)
        appendKey(out, store.roots[r], kRootNames[r], true);
    out += kTrailer;
    out += '\n';
    return out;
}

} // namespace registry::store
