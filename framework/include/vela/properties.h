// Property lists: ordered name/value pairs applied to a window or control.
// Each class knows the names it accepts and the kind of each; a typo or a
// value of the wrong kind throws, so it fails in a test, not silently on screen.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace vela {

struct Color {
    int red = 0, green = 0, blue = 0;
    bool operator==(const Color&) const = default;
};

using Value = std::variant<std::int64_t, bool, Color, std::string>;

// A text literal would otherwise turn into bool.
inline Value Text(std::string s) { return Value(std::move(s)); }

using PropertyList = std::vector<std::pair<std::string, Value>>;

class PropertyError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

enum class Kind { Integer, Boolean, Colour, String };

class PropertyHolder {
public:
    virtual ~PropertyHolder() = default;

    // Sets one property; throws PropertyError for an unknown name or a wrong kind.
    void SetProperty(const std::string& name, const Value& value);
    const Value& Property(const std::string& name) const;
    bool HasProperty(const std::string& name) const { return values_.count(name) != 0; }
    std::int64_t IntProperty(const std::string& name) const;
    bool BoolProperty(const std::string& name) const;
    std::string TextProperty(const std::string& name) const;
    // The names set so far, in the order they were first set.
    const std::vector<std::string>& PropertyOrder() const { return order_; }

protected:
    void Accept(std::initializer_list<std::pair<const char*, Kind>> names);
    // The stored text of a text property set before, for a setter called very
    // often to overwrite in place; nil while it is not set. Stays valid: stored
    // values are never removed, and a text property only ever holds a text.
    std::string* StoredText(const char* name);
    // Called after a property was stored, so the toolkit side can follow.
    virtual void PropertyChanged(const std::string& name, const Value& value) = 0;
    std::string className_ = "Object";

private:
    std::map<std::string, Kind> schema_;
    std::map<std::string, Value, std::less<>> values_;
    std::vector<std::string> order_;
};

// Applies every property of the list, in list order.
void _SetProperties(PropertyHolder& target, const PropertyList& list);

} // namespace vela
