// What an install could not do: the list the copy and the install sequences
// report into, and the message that shows it to the user.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "vela/folderitem.h"

namespace Modul1 {

struct Kopierfehler {
    // The absolute path of what failed: on the disc for what could not be
    // read, is missing or is a link; in the X-Plane folder for what could not
    // be written there.
    std::string pfad;
    vela::FileError grund;
    // A whole folder or part of the install (an add-on the disc lacks, a
    // folder that cannot be read or made), not a single file or link.
    bool ganzerOrdner = false;
};

// The failures since the list was last cleared, in order. A link met on the
// way to several items is listed once.
class Fehlerliste {
public:
    void Melde(const std::string& pfad, vela::FileError grund, bool ganzerOrdner);
    // Empties the list and forgets the links listed in it, so that the next
    // install lists them again.
    void clear();

    bool empty() const { return fehler.empty(); }
    std::size_t size() const { return fehler.size(); }
    std::vector<Kopierfehler>::const_iterator begin() const { return fehler.begin(); }
    std::vector<Kopierfehler>::const_iterator end() const { return fehler.end(); }

private:
    std::vector<Kopierfehler> fehler;
    // A disc may hold many links: each is looked up, not searched for.
    std::set<std::string> links;
};

extern Fehlerliste kopierfehler;
// Adds to kopierfehler.
void Melde(const std::string& pfad, vela::FileError grund, bool ganzerOrdner = false);

// The message that lists what could not be copied, or "" when nothing failed.
// Paths below the X-Plane folder or the disc's top are shown from there, as
// the user knows them.
std::string Fehlerbericht(const std::string& zielordner, const std::string& dvdOrdner);

// Whether pfad is the folder ordner or lies below it; never for an empty ordner.
bool LiegtIn(const std::string& pfad, const std::string& ordner);

} // namespace Modul1
