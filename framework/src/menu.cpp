#include "vela/menu.h"

#include "vela/runtime.h"

namespace vela {

void MenuItem::Append(const Ref<MenuItem>& item)
{
    if (!item)
        throw NilObjectException();
    children_.push_back(item);
}

Ref<MenuItem> MenuItem::Child(const std::string& name) const
{
    for (const auto& c : children_)
        if (c->Name == name)
            return c;
    return {};
}

Ref<MenuItem> MenuItem::_Lookup(const std::string& name) const
{
    for (const auto& c : children_) {
        if (c->Name == name)
            return c;
        if (auto found = c->_Lookup(name))
            return found;
    }
    return {};
}

Ref<MenuItem> MenuItem::Item(int index) const
{
    if (index < 0 || index >= Count())
        return {};
    return children_[std::size_t(index)];
}

void QuitMenuItem::Action() { Quit(0); }

} // namespace vela
