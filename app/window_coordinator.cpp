#include "app/window_coordinator.h"

#include "app/main_window.h"
#include "editor/list_editor_window.h"
#include "help/help_window.h"
#include "import/import_window.h"

namespace telvane::app {

WindowCoordinator::WindowCoordinator(MainWindow& main)
    : m_main(main)
{
    main.openListEditor = [this] { openListEditor(); };
    main.openImport = [this] { openImportModal(); };
    main.openHelp = [this] { openHelp(&m_main); };
}

WindowCoordinator::~WindowCoordinator()
{
    delete m_listEditor;
}

void WindowCoordinator::openListEditor()
{
    if (m_listEditor) {
        m_listEditor->raise();
        m_listEditor->activateWindow();
        return;
    }
    m_main.listEditorOpened();
    m_listEditor = new editor::ListEditorWindow(m_main.storePath());
    m_listEditor->setImportOpener([this] { return openImportWindow(); });
    connect(m_listEditor, &editor::ListEditorWindow::closed, this, [this] { m_main.enterQueryMode(); });
    m_listEditor->show();
}

void WindowCoordinator::openImportModal()
{
    m_countBeforeImport = m_main.store().recordCount();
    import::ImportWindow window(m_main.store(), nullptr);
    connect(&window, &import::ImportWindow::listEditorRequested, this, &WindowCoordinator::showListEditorAfterImport);
    window.exec();
}

QWidget* WindowCoordinator::openImportWindow()
{
    m_countBeforeImport = m_main.store().recordCount();
    auto* window = new import::ImportWindow(m_main.store(), nullptr);
    window->setAttribute(Qt::WA_DeleteOnClose);
    connect(window, &import::ImportWindow::listEditorRequested, this, &WindowCoordinator::showListEditorAfterImport);
    window->show();
    return window;
}

void WindowCoordinator::openHelp(QWidget* owner)
{
    help::HelpWindow::showModal(owner);
}

void WindowCoordinator::showListEditorAfterImport()
{
    if (m_listEditor) {
        m_listEditor->reload();
        m_listEditor->raise();
        m_listEditor->activateWindow();
        return;
    }
    openListEditor();
    m_listEditor->showRecordsFrom(m_countBeforeImport);
}

} // namespace telvane::app
