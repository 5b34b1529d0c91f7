// The menu model, and the toolkit's menu bar made from it.
#include "vela/menu.h"

#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "internal.h"
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

namespace {

QKeySequence toKeySequence(const std::string& shortcut)
{
    QString s = QString::fromStdString(shortcut);
    s.replace(QStringLiteral("Cmd+"), QStringLiteral("Ctrl+"));
    return QKeySequence(s);
}

} // namespace

QMenuBar* detail::ToQtMenuBar(const MenuBar& bar)
{
    auto* qbar = new QMenuBar;
    for (int i = 0; i < bar.Count(); ++i) {
        Ref<MenuItem> menu = bar.Item(i);
        QMenu* qmenu = qbar->addMenu(QString::fromStdString(menu->Text));
        qmenu->setObjectName(QString::fromStdString(menu->Name));
        for (int k = 0; k < menu->Count(); ++k) {
            Ref<MenuItem> item = menu->Item(k);
            if (item->IsSeparator()) {
                qmenu->addSeparator()->setObjectName(QString::fromStdString(item->Name));
                continue;
            }
            QAction* a = qmenu->addAction(QString::fromStdString(item->Text));
            a->setObjectName(QString::fromStdString(item->Name));
            if (!item->KeyboardShortcut.empty()) {
                a->setShortcut(toKeySequence(item->KeyboardShortcut));
                a->setShortcutContext(Qt::ApplicationShortcut);
            }
            a->setEnabled(item->HasHandler() || item->AutoEnable);
            MenuItem* raw = item.get();
            QObject::connect(a, &QAction::triggered, [raw] { Guarded([raw] { raw->Action(); }); });
        }
    }
    return qbar;
}

} // namespace vela
