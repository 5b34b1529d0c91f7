#include "copy/copy.h"

#include <map>

#include "shell/warten.h"
#include "vela/runtime.h"
#include "vela/text.h"

namespace Modul1 {

std::vector<Kopierfehler> kopierfehler;

namespace {

void melde(const vela::Ref<vela::FolderItem>& ziel, const std::string& name, vela::FileError grund)
{
    kopierfehler.push_back({(ziel->Path() / name).string(), grund});
}

// The progress window and its label, looked up once for a whole copy.
struct Anzeige {
    vela::Ref<class warten> fenster = warten();
    vela::Ref<vela::StaticText> name = vela::RuntimeCheckCast<vela::StaticText>(
        vela::RuntimeWindowControlByName(fenster, "StaticText2"));
};

void zeige(const Anzeige& anzeige, const std::string& name)
{
    anzeige.name->SetText(name);
    anzeige.fenster->Refresh(true);
}

// zielGeprueft: whether the folder's lock was looked at already in this walk.
void kopiereDatei(const Anzeige& anzeige, const vela::Ref<vela::FolderItem>& datei,
                  const vela::Ref<vela::FolderItem>& ziel, bool& zielGeprueft)
{
    const std::string& name = datei->Name();
    // Hidden files are left out, and the target's file of that name is left alone.
    if (vela::RuntimeStringCompare(vela::Left(name, 1), ".") == 0)
        return;
    // A locked folder would refuse the copy; for a missing file it stays as it is.
    if (!zielGeprueft && datei->Exists()) {
        zielGeprueft = true;
        if (ziel->Locked())
            ziel->SetLocked(false);
    }
    if (!datei->CopyFileTo(ziel))
        melde(ziel, name, datei->LastError());
    zeige(anzeige, name);
}

// Names compared as the discs' file system does: in any letter case.
struct OhneGrossKlein {
    bool operator()(const std::string& a, const std::string& b) const
    {
        return vela::RuntimeStringCompare(a, b) < 0;
    }
};

// Copies the folder quelle into zielordner, the target folder of its name in ziel.
void kopiereOrdner(const Anzeige& anzeige, const vela::Ref<vela::FolderItem>& quelle, const vela::Ref<vela::FolderItem>& zielordner,
                   const vela::Ref<vela::FolderItem>& ziel)
{
    // Gone, or no longer a folder, since it was listed: the file copy reports it.
    if (!quelle->Directory()) {
        bool geprueft = false;
        kopiereDatei(anzeige, quelle, ziel, geprueft);
        return;
    }
    if (!zielordner) {
        melde(ziel, quelle->Name(), vela::FileError::Write);
        return;
    }
    if (!zielordner->Exists()) {
        if (!zielordner->CreateAsFolder()) {
            melde(ziel, zielordner->Name(), vela::FileError::Write);
            return;
        }
    } else if (!zielordner->LeadsToFolder()) {
        // A file stands where the disc has a folder: it stays, and the folder is reported.
        melde(ziel, zielordner->Name(), vela::FileError::Write);
        return;
    }

    // What the target folder held before, by name in any letter case: a
    // folder of the disc merges into the one there of its name. Read once,
    // not once for every folder.
    std::map<std::string, std::string, OhneGrossKlein> vorhanden;
    bool gelesen = false;

    // The entries as listed now: one that goes away during the copy is
    // reported as missing and does not shift the ones after it.
    bool geprueft = false;
    for (const auto& eintrag : quelle->Entries()) {
        // The user asked to end the program: no further file is begun.
        if (vela::QuitRequested())
            return;
        if (eintrag->ListedAsFolder()) {
            if (!gelesen) {
                for (const auto& da : zielordner->Entries())
                    vorhanden.emplace(da->Name(), da->Name());
                gelesen = true;
            }
            auto name = vorhanden.find(eintrag->Name());
            kopiereOrdner(anzeige, eintrag,
                          zielordner->ExactChild(name != vorhanden.end() ? name->second : eintrag->Name()),
                          zielordner);
        } else {
            kopiereDatei(anzeige, eintrag, zielordner, geprueft);
        }
        vela::RuntimeBackgroundTask();
    }
}

} // namespace

void CopyFileOrFolder(const vela::Ref<vela::FolderItem>& quelle, const vela::Ref<vela::FolderItem>& ziel)
{
    if (!quelle || !ziel)
        throw vela::NilObjectException();
    const Anzeige anzeige;
    if (!quelle->Directory()) {
        bool geprueft = false;
        kopiereDatei(anzeige, quelle, ziel, geprueft);
        return;
    }
    kopiereOrdner(anzeige, quelle, ziel->Child(quelle->Name()), ziel);
}

} // namespace Modul1
