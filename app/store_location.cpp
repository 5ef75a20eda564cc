#include "app/store_location.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace telvane::app {

Layout layoutOf(const QString& programFolder)
{
    const QDir folder(programFolder);
    if (folder.dirName() != u"bin"_s) {
        return Layout::Folder;
    }
    return QFileInfo(folder.filePath(u"../share/applications/telvane.desktop"_s)).isFile() ? Layout::Packaged
                                                                                           : Layout::Folder;
}

std::optional<StoreChoice> chooseStore(const StoreContext& context, QString* error)
{
    std::optional<QString> given;
    for (qsizetype i = 0; i < context.arguments.size(); ++i) {
        const QString& argument = context.arguments[i];
        if (argument == u"--store"_s) {
            given = i + 1 < context.arguments.size() ? context.arguments[++i] : QString();
        } else if (argument.startsWith(u"--store="_s)) {
            given = argument.mid(8);
        }
    }
    if (given) {
        if (given->isEmpty()) {
            *error = u"--store needs the path of a store file"_s;
            return std::nullopt;
        }
        const QString file = QDir::cleanPath(QDir(context.currentFolder).absoluteFilePath(*given));
        return StoreChoice {file, QFileInfo(file).path(), false};
    }
    if (context.layout == Layout::Folder) {
        const QString folder = QDir::cleanPath(context.programFolder);
        return StoreChoice {QDir(folder).filePath(u"DHB.EDB"_s), folder, false};
    }
    // The desktop's convention for user data: an unset, empty or relative XDG_DATA_HOME means ~/.local/share.
    QString dataHome = context.xdgDataHome;
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome)) {
        if (context.home.isEmpty() || QDir::isRelativePath(context.home)) {
            *error = u"no data folder: neither XDG_DATA_HOME nor HOME names an absolute folder"_s;
            return std::nullopt;
        }
        dataHome = context.home + u"/.local/share"_s;
    }
    const QString folder = QDir::cleanPath(dataHome + u"/telvane"_s);
    return StoreChoice {QDir(folder).filePath(u"DHB.EDB"_s), folder, true};
}

namespace {

// Made as the desktop's convention for user data asks: a missing folder with mode 0700, so the directory stays the
// user's own. A folder that cannot be made is left to the start-up's write test, which refuses it with its message.
void makeDataFolder(const QString& folder)
{
    if (QFileInfo(folder).isDir()) {
        return;
    }
    QDir().mkpath(QFileInfo(folder).path());
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
}

} // namespace

std::optional<StoreChoice> storeForThisRun()
{
    StoreContext context;
    context.programFolder = QCoreApplication::applicationDirPath();
    context.layout = layoutOf(context.programFolder);
    context.arguments = QCoreApplication::arguments().mid(1);
    context.xdgDataHome = qEnvironmentVariable("XDG_DATA_HOME");
    context.home = QDir::homePath();
    context.currentFolder = QDir::currentPath();
    QString error;
    std::optional<StoreChoice> choice = chooseStore(context, &error);
    if (choice && !choice->makeFolder && !QFileInfo(choice->folder).isDir()) {
        error = u"%1: no such folder"_s.arg(choice->folder);
        choice.reset();
    }
    if (!choice) {
        std::fprintf(stderr, "telvane: %s\n", qUtf8Printable(error));
    } else if (choice->makeFolder) {
        makeDataFolder(choice->folder);
    }
    return choice;
}

} // namespace telvane::app
