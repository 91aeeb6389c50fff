#pragma once
// The registry's content in memory and its REGEDIT4 text form.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace registry::store {

// Names are compared with ASCII letters folded; other bytes compare exactly,
// as the store keeps the caller's bytes without knowing their code page.
std::string foldCase(std::string_view name);

struct Value {
    std::string name; // empty: the key's default value
    std::uint32_t type = 0;
    std::string data;
};

class Key {
public:
    Key() = default;
    explicit Key(std::string name) : name_(std::move(name)) {}

    const std::string& name() const { return name_; }

    Key* child(std::string_view name);
    const Key* child(std::string_view name) const;
    // The existing child of that name, or a new empty one.
    Key& childOrCreate(const std::string& name);
    const std::map<std::string, std::unique_ptr<Key>>& children() const { return children_; }

    const Value* value(std::string_view name) const;
    void setValue(Value value);
    const std::vector<Value>& values() const { return values_; }

private:
    std::string name_;
    std::map<std::string, std::unique_ptr<Key>> children_; // by folded name
    std::vector<Value> values_;                            // in the order first written
};

// The five roots that hold data, in handle order; HKEY_DYN_DATA holds none.
enum class Root { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };
inline constexpr std::size_t kRootCount = 5;
const char* rootName(Root root);

struct Store {
    std::array<Key, kRootCount> roots;

    Key& root(Root r) { return roots[static_cast<std::size_t>(r)]; }
    const Key& root(Root r) const { return roots[static_cast<std::size_t>(r)]; }
};

// Parses the REGEDIT4 text of a store. Anything it does not fully understand,
// including a text cut short, gives nullopt and a reason in *ERROR: a store
// is never half-read.
std::optional<Store> parse(std::string_view text, std::string* error = nullptr);

// The text form; parse(serialize(s)) gives s back.
std::string serialize(const Store& store);

} // namespace registry::store
