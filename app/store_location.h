#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace telvane::app {

// How the program was installed, told from the folders around it (never from an absolute path, so that a package
// unpacked anywhere behaves as an installed one).
enum class Layout {
    // A folder of its own (dist/telvane/): DHB.EDB beside the program.
    Folder,
    // Installed as a package: the program in bin/, the package's files under ../share/. Nothing may be written
    // beside the program, so DHB.EDB lives in the user's data folder.
    Packaged,
};

// Packaged when the program's folder is called bin and ../share/applications/telvane.desktop, which only the package
// installs, is beside it.
Layout layoutOf(const QString& programFolder);

// What start-up needs to decide where the store is.
struct StoreContext
{
    Layout layout = Layout::Folder;
    QString programFolder;
    // The command line after the program's name.
    QStringList arguments;
    // $XDG_DATA_HOME as it is (empty when unset) and the user's home folder.
    QString xdgDataHome;
    QString home;
    // Where a relative `--store` path starts.
    QString currentFolder;
};

struct StoreChoice
{
    // The store file and the folder that holds it: the read-only test runs on that folder.
    QString file;
    QString folder;
    // The user's data folder, made on the first run; a folder given by the user is never made.
    bool makeFolder = false;
};

// The store of this run: `--store PATH` (or `--store=PATH`) in either layout, otherwise DHB.EDB beside the program
// (Folder) or in $XDG_DATA_HOME/telvane/, ~/.local/share/telvane/ by default (Packaged). Other arguments are left
// alone, as the program always has. Nothing when the command line is wrong; `error` then says why.
std::optional<StoreChoice> chooseStore(const StoreContext& context, QString* error);

// chooseStore() for this process; makes the user's data folder when it is missing. A wrong command line, or a
// `--store` path in a folder that does not exist, is reported on standard error and gives nothing.
std::optional<StoreChoice> storeForThisRun();

} // namespace telvane::app
