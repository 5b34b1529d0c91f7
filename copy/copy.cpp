#include "copy/copy.h"

#include <map>
#include <set>

#include "shell/warten.h"
#include "vela/runtime.h"
#include "vela/text.h"

namespace Modul1 {

namespace {

// The progress window and its label, looked up once for a whole copy.
struct Anzeige {
    vela::Ref<class warten> fenster = warten();
    vela::Ref<vela::StaticText> name = vela::RuntimeCheckCast<vela::StaticText>(
        vela::RuntimeWindowControlByName(fenster, "StaticText2"));
};

void zeige(const Anzeige& anzeige, const std::string& name)
{
    // A name from the disc must not break or forge the label's line.
    if (vela::IsPrintable(name))
        anzeige.name->SetText(name);
    else
        anzeige.name->SetText(vela::Printable(name));
    anzeige.fenster->Refresh(true);
}

// Names compared as the discs' file system does: in any letter case.
struct OhneGrossKlein {
    bool operator()(const std::string& a, const std::string& b) const
    {
        return vela::RuntimeStringCompare(a, b) < 0;
    }
};

struct Vorhanden {
    std::string name;
    bool ordner;  // a folder, or the user's link to one
    bool datei;   // a file of its own (no link)
};

// A folder of the target as the copy fills it: unlocked before anything is
// made in it, and what it held before read once, to find names there in
// another letter case. The destination handed to the copy can be large (an
// X-Plane folder's default scenery): there each name is looked up alone,
// and the folder is not read to find it.
struct Ziel {
    vela::Ref<vela::FolderItem> ordner;
    bool neu = false;  // made by this copy, so empty
    bool nurNachschlagen = false;  // each name looked up alone
    bool entsperrt = false;
    bool gelesen = false;
    std::map<std::string, std::vector<Vorhanden>, OhneGrossKlein> namen;

    // Once, before the first thing is made in it.
    void entsperren()
    {
        if (entsperrt)
            return;
        entsperrt = true;
        if (!neu)
            Entsperren(ordner);
    }

    // Before a file of that name is copied in. Where names are looked up
    // alone, an old spelling is looked up now: afterwards the look-up would
    // find the new file.
    void vorDerDatei(const std::string& name)
    {
        if (!nurNachschlagen)
            return;
        if (auto da = ordner->Child(name); da && da->Name() != name)
            namen[name] = {{da->Name(), false, !da->Directory() && !da->IsSymlink()}};
    }

    // What the folder held before under name, in any letter case.
    const std::vector<Vorhanden>* schreibweisen(const std::string& name)
    {
        if (neu)
            return nullptr;
        if (!gelesen && !nurNachschlagen) {
            gelesen = true;
            for (const auto& da : ordner->Entries())
                namen[da->Name()].push_back(
                    {da->Name(), da->ListedAsFolder() || (da->ListedAsLink() && da->DirectoryOrLinkToOne()),
                     !da->ListedAsFolder() && !da->ListedAsLink()});
        }
        auto it = namen.find(name);
        return it == namen.end() ? nullptr : &it->second;
    }

    // The folder there for a disc folder of that name: the one of exactly
    // that name, else one in another letter case, else the name to make.
    std::string ordnerName(const std::string& name)
    {
        if (nurNachschlagen) {
            // Another spelling only where it leads to a folder.
            auto da = ordner->Child(name);
            return !da || (!da->DirectoryOrLinkToOne() && da->Name() != name) ? name : da->Name();
        }
        const auto* da = schreibweisen(name);
        if (!da)
            return name;
        for (const auto& v : *da)
            if (v.name == name)
                return name;
        for (const auto& v : *da)
            if (v.ordner)
                return v.name;
        return name;
    }

    std::string pfad(const std::string& name) const { return (ordner->Path() / name).string(); }

    // Files replaced by the disc's under another spelling: the disc's name
    // and the old one.
    std::vector<std::pair<std::string, std::string>> alteSchreibweisen;
    // Removes an old spelling only where the folder, read again, lists it
    // beside the new name: on a drive that ignores case (exFAT, FAT, NTFS,
    // whose drivers may give each spelling its own inode number) the new
    // file took the old one's place, and the old name reaches the new file.
    // A name the disc has here (discNamen() gives them) is no old spelling,
    // even where the disc holds two that differ only in case.
    template <class DiscNamen>
    void raeumeAuf(DiscNamen discNamen)
    {
        if (alteSchreibweisen.empty())
            return;
        const std::set<std::string> vonDerDisc = discNamen();
        std::set<std::string> jetzt;
        for (const auto& da : ordner->Entries())
            jetzt.insert(da->Name());
        for (const auto& [neu, alt] : alteSchreibweisen) {
            if (!jetzt.count(neu) || !jetzt.count(alt) || vonDerDisc.count(alt))
                continue;
            // Two disc names may share one old spelling: it goes once.
            jetzt.erase(alt);
            if (!ordner->ExactChild(alt)->Delete())
                Melde(pfad(alt), vela::FileError::Write);
        }
        alteSchreibweisen.clear();
    }
};

// ganzerTeil: the item handed to the copy, which, missing from the disc
// (an add-on it lacks), is a whole part of the install.
void kopiereDatei(const Anzeige& anzeige, const vela::Ref<vela::FolderItem>& datei, Ziel& ziel,
                  bool ganzerTeil = false)
{
    const std::string& name = datei->Name();
    ziel.vorDerDatei(name);
    // Hidden files are left out, and the target's file of that name is left alone.
    if (vela::RuntimeStringCompare(vela::Left(name, 1), ".") == 0)
        return;
    // For a missing file the folder stays as it is.
    if (!ziel.entsperrt && datei->Exists())
        ziel.entsperren();
    if (!datei->CopyFileTo(ziel.ordner)) {
        const vela::FileError grund = datei->LastError();
        if (grund == vela::FileError::Cancelled)
            return;
        Melde(grund == vela::FileError::Write ? ziel.pfad(name) : datei->AbsolutePath(), grund,
              ganzerTeil && grund == vela::FileError::Missing);
    } else if (const auto* da = ziel.schreibweisen(name)) {
        // The discs were made for a file system that ignores case: the old
        // file in another letter case goes once the folder is done, if it is
        // still an entry of its own there.
        for (const auto& v : *da)
            if (v.name != name && v.datei)
                ziel.alteSchreibweisen.push_back({name, v.name});
    }
    zeige(anzeige, name);
}

// Copies the folder quelle into the folder of its name in ziel.
void kopiereOrdner(const Anzeige& anzeige, const vela::Ref<vela::FolderItem>& quelle, Ziel& in)
{
    // Listed first: a folder that cannot be read is reported, not made empty.
    // The entries as listed now: one that goes away during the copy is
    // reported as missing and does not shift the ones after it.
    const auto eintraege = quelle->Entries();
    if (quelle->LastError() != vela::FileError::None) {
        Melde(quelle->AbsolutePath(), quelle->LastError(), true);
        return;
    }
    // Gone, or no longer a folder, since it was listed: the file copy reports it.
    if (eintraege.empty() && !quelle->Directory()) {
        kopiereDatei(anzeige, quelle, in);
        return;
    }

    Ziel ziel;
    ziel.ordner = in.ordner->ExactChild(in.ordnerName(quelle->Name()));
    if (!ziel.ordner) {
        Melde(in.pfad(quelle->Name()), vela::FileError::Write, true);
        return;
    }
    if (!ziel.ordner->Exists()) {
        in.entsperren();
        if (!ziel.ordner->CreateAsFolder()) {
            Melde(ziel.ordner->AbsolutePath(), vela::FileError::Write, true);
            return;
        }
        ziel.neu = true;
    } else if (!ziel.ordner->DirectoryOrLinkToOne()) {
        // A file stands where the disc has a folder: it stays, and the folder is reported.
        Melde(ziel.ordner->AbsolutePath(), vela::FileError::Write, true);
        return;
    }

    for (const auto& eintrag : eintraege) {
        // The user asked to end the program: no further file is begun.
        if (vela::QuitRequested())
            break;
        if (eintrag->ListedAsFolder())
            kopiereOrdner(anzeige, eintrag, ziel);
        else
            kopiereDatei(anzeige, eintrag, ziel);
        vela::RuntimeBackgroundTask();
    }
    ziel.raeumeAuf([&eintraege] {
        std::set<std::string> namen;
        for (const auto& eintrag : eintraege)
            namen.insert(eintrag->Name());
        return namen;
    });
}

} // namespace

void Entsperren(const vela::Ref<vela::FolderItem>& ordner)
{
    if (ordner->Locked())
        ordner->SetLocked(false);
}

void CopyFileOrFolder(const vela::Ref<vela::FolderItem>& quelle, const vela::Ref<vela::FolderItem>& ziel)
{
    if (!quelle || !ziel)
        throw vela::NilObjectException();
    const Anzeige anzeige;
    Ziel in;
    in.ordner = ziel;
    in.nurNachschlagen = true;
    // Asked of the file system: the item may come from a listing made earlier.
    if (quelle->Directory())
        kopiereOrdner(anzeige, quelle, in);
    else
        kopiereDatei(anzeige, quelle, in, true);
    in.raeumeAuf([&quelle] { return std::set<std::string>{quelle->Name()}; });
}

} // namespace Modul1
