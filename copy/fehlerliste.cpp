#include "copy/fehlerliste.h"

#include <algorithm>

#include "vela/text.h"

namespace Modul1 {

Fehlerliste kopierfehler;

void Fehlerliste::Melde(const std::string& pfad, vela::FileError grund, bool ganzerOrdner)
{
    if (grund == vela::FileError::Link && !links.insert(pfad).second)
        return;
    fehler.push_back({pfad, grund, ganzerOrdner});
}

void Fehlerliste::clear()
{
    fehler.clear();
    links.clear();
}

void Melde(const std::string& pfad, vela::FileError grund, bool ganzerOrdner)
{
    kopierfehler.Melde(pfad, grund, ganzerOrdner);
}

bool LiegtIn(const std::string& pfad, const std::string& ordner)
{
    if (ordner.empty() || pfad.compare(0, ordner.size(), ordner) != 0)
        return false;
    return pfad.size() == ordner.size() || ordner.back() == '/' || pfad[ordner.size()] == '/';
}

std::string Fehlerbericht(const std::string& zielordner, const std::string& dvdOrdner)
{
    if (kopierfehler.empty())
        return {};
    auto kurz = [&](const std::string& pfad) {
        for (const std::string* basis : {&zielordner, &dvdOrdner})
            if (LiegtIn(pfad, *basis) && pfad.size() > basis->size())
                return pfad.substr(basis->size() + (basis->back() == '/' ? 0 : 1));
        return pfad;
    };
    // Whole folders first: what was not installed at all must not hide
    // behind single files in "… und n weitere".
    std::vector<Kopierfehler> liste(kopierfehler.begin(), kopierfehler.end());
    std::stable_partition(liste.begin(), liste.end(), [](const Kopierfehler& f) { return f.ganzerOrdner; });
    std::string text = "Folgende Dateien konnten nicht kopiert werden:";
    const std::size_t shown = std::min<std::size_t>(liste.size(), 10);
    for (std::size_t i = 0; i < shown; ++i) {
        const char* grund = "Schreibfehler";
        switch (liste[i].grund) {
        case vela::FileError::Read: grund = "Lesefehler"; break;
        case vela::FileError::Missing: grund = "fehlt auf der DVD"; break;
        case vela::FileError::Link: grund = "Verknüpfung, nicht kopiert"; break;
        default: break;
        }
        // Names come from the disc: none may break the list into forged lines.
        text += "\n" + vela::Printable(kurz(liste[i].pfad)) + " – " + grund;
    }
    if (liste.size() > shown)
        text += "\n… und " + std::to_string(liste.size() - shown) + " weitere";
    return text;
}

} // namespace Modul1
