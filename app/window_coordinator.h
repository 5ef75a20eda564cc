#pragma once

#include "editor/list_editor_window.h"

#include <QObject>
#include <QPointer>

namespace telvane::app {

class MainWindow;

// Opens the other windows from the Main window and keeps their links: the list editor (one at a time), the import
// window (modal from the Main window, non-modal from the list editor) and the help window.
class WindowCoordinator : public QObject
{
    Q_OBJECT

public:
    explicit WindowCoordinator(MainWindow& main);
    ~WindowCoordinator() override;

    void openListEditor();
    void openImportModal();
    // Shows an import window without owner and returns it (the list editor's menu command).
    QWidget* openImportWindow();
    void openHelp(QWidget* owner);
    // An import window closed after an import: show the list editor, reloaded when one is already open.
    void showListEditorAfterImport();

    editor::ListEditorWindow* listEditor() const { return m_listEditor; }

private:
    MainWindow& m_main;
    QPointer<editor::ListEditorWindow> m_listEditor;
    // The number of records when the import window opened: the imported ones come after them.
    int m_countBeforeImport = 0;
};

} // namespace telvane::app
