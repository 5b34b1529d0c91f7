// Menus: a bar holds menus, a menu holds items. Items are found by Name.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "vela/ref.h"

namespace vela {

class MenuItem {
public:
    MenuItem() = default;
    virtual ~MenuItem() = default;

    std::string Name, Text;
    // "Cmd+Q" form; Cmd is the platform's command key. Empty: none.
    std::string KeyboardShortcut;
    bool AutoEnable = false;

    // Adds a menu to the bar, or an item to the end of a menu.
    void Append(const Ref<MenuItem>& item);
    // The direct child of that Name, or nil.
    Ref<MenuItem> Child(const std::string& name) const;
    // Any item of that Name in the tree below, or nil.
    Ref<MenuItem> _Lookup(const std::string& name) const;
    int Count() const { return static_cast<int>(children_.size()); }
    Ref<MenuItem> Item(int index) const;  // from 0
    bool IsSeparator() const { return Text == "-"; }
    // What choosing the item does; an item with none is greyed unless AutoEnable.
    virtual void Action() {}
    virtual bool HasHandler() const { return false; }

private:
    std::vector<Ref<MenuItem>> children_;
};

// The built-in quit item.
class QuitMenuItem : public MenuItem {
public:
    void Action() override;
    bool HasHandler() const override { return true; }
};

class MenuBar : public MenuItem {};

} // namespace vela
