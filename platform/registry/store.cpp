#include "platform/registry/store.h"

#include "platform/base/ascii.h"

#include "platform/registry/registry.h"
#include "platform/registry/store_format.h"

#include <charconv>

namespace registry::store {

namespace {

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
