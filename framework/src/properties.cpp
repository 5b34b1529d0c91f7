#include "vela/properties.h"

#include <algorithm>

namespace vela {

namespace {
Kind kindOf(const Value& v)
{
    switch (v.index()) {
    case 0: return Kind::Integer;
    case 1: return Kind::Boolean;
    case 2: return Kind::Colour;
    default: return Kind::String;
    }
}
const char* kindName(Kind k)
{
    switch (k) {
    case Kind::Integer: return "integer";
    case Kind::Boolean: return "boolean";
    case Kind::Colour: return "colour";
    default: return "text";
    }
}
} // namespace

void PropertyHolder::Accept(std::initializer_list<std::pair<const char*, Kind>> names)
{
    for (auto& [name, kind] : names)
        schema_[name] = kind;
}

void PropertyHolder::SetProperty(const std::string& name, const Value& value)
{
    auto it = schema_.find(name);
    if (it == schema_.end())
        throw PropertyError(className_ + " has no property " + name);
    if (kindOf(value) != it->second)
        throw PropertyError(className_ + "." + name + " takes a " + kindName(it->second) +
                            " value, not a " + kindName(kindOf(value)));
    if (!values_.count(name))
        order_.push_back(name);
    values_[name] = value;
    PropertyChanged(name, value);
}

std::string* PropertyHolder::StoredText(const char* name)
{
    auto it = values_.find(name);
    return it == values_.end() ? nullptr : std::get_if<std::string>(&it->second);
}

const Value& PropertyHolder::Property(const std::string& name) const
{
    auto it = values_.find(name);
    if (it == values_.end())
        throw PropertyError(className_ + "." + name + " is not set");
    return it->second;
}

std::int64_t PropertyHolder::IntProperty(const std::string& name) const
{
    return values_.count(name) ? std::get<std::int64_t>(Property(name)) : 0;
}

bool PropertyHolder::BoolProperty(const std::string& name) const
{
    return values_.count(name) ? std::get<bool>(Property(name)) : false;
}

std::string PropertyHolder::TextProperty(const std::string& name) const
{
    return values_.count(name) ? std::get<std::string>(Property(name)) : std::string();
}

void _SetProperties(PropertyHolder& target, const PropertyList& list)
{
    for (const auto& [name, value] : list)
        target.SetProperty(name, value);
}

} // namespace vela
