#include "copy/copy.h"

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

void zeige(const std::string& name)
{
    auto label = vela::RuntimeCheckCast<vela::StaticText>(
        vela::RuntimeWindowControlByName(warten(), "StaticText2"));
    label->SetText(name);
    warten()->Refresh(true);
}

// zielGeprueft: whether the folder's lock was looked at already in this walk.
void kopiereDatei(const vela::Ref<vela::FolderItem>& datei, const vela::Ref<vela::FolderItem>& ziel,
                  bool& zielGeprueft)
{
    const std::string name = datei->Name();
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
    zeige(name);
}

} // namespace

void CopyFileOrFolder(const vela::Ref<vela::FolderItem>& quelle, const vela::Ref<vela::FolderItem>& ziel)
{
    if (!quelle || !ziel)
        throw vela::NilObjectException();
    if (!quelle->Directory()) {
        bool geprueft = false;
        kopiereDatei(quelle, ziel, geprueft);
        return;
    }

    auto zielordner = ziel->Child(quelle->Name());
    if (!zielordner) {
        melde(ziel, quelle->Name(), vela::FileError::Write);
        return;
    }
    if (!zielordner->Exists()) {
        if (!zielordner->CreateAsFolder()) {
            melde(ziel, zielordner->Name(), vela::FileError::Write);
            return;
        }
    } else if (!zielordner->Directory()) {
        // A file stands where the disc has a folder: it stays, and the folder is reported.
        melde(ziel, zielordner->Name(), vela::FileError::Write);
        return;
    }

    // The entries as listed now: one that goes away during the copy is
    // reported as missing and does not shift the ones after it.
    bool geprueft = false;
    for (const auto& eintrag : quelle->Entries()) {
        if (eintrag->ListedAsFolder())
            CopyFileOrFolder(eintrag, zielordner);
        else
            kopiereDatei(eintrag, zielordner, geprueft);
        vela::RuntimeBackgroundTask();
    }
}

} // namespace Modul1
