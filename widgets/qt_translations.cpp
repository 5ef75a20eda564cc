#include "widgets/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace telvane::widgets {

bool installQtTranslations()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    // The qtbase catalogue holds the texts of every Qt module the program uses (Core, Gui, Widgets, Sql).
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), u"qtbase"_s, u"_"_s,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace telvane::widgets
