#pragma once

#include "store/connection.h"

#include <QString>

// The Main window's rules without the window: how its controls stand in each mode, and what start-up does with the
// folder and the store file it finds.
namespace telvane::app {

// ---- the two modes ------------------------------------------------------------------------------------------------

enum class Mode { Query, Entry };

// How the controls stand in a mode, as the mode table has them.
struct ModeControls
{
    bool queryButton = false; // 查询按钮 enabled
    bool entryButton = false; // 输入按钮 enabled
    bool gridButton = false; // 表格按钮 enabled
    bool saveButton = false; // 确定按钮 shown and enabled
    bool queryBox = false; // 查询框 enabled, with its border; otherwise the record counter: no border
    bool recordBoxes = false; // the seven record boxes enabled
    QString caption; // 说明标签6
    bool operator==(const ModeControls&) const = default;
};
ModeControls controlsIn(Mode mode);

// ---- start-up -----------------------------------------------------------------------------------------------------

// Whether the program's folder accepts writes: a file made and taken away again fails exactly where writing fails
// (a read-only file system, also for root; a folder the user may not write); a full disk is told apart, since it is
// no reason to refuse looking people up.
enum class FolderAccess { Writable, ReadOnly, Full };
FolderAccess probeFolder(const QString& folder);

struct Message
{
    QString title;
    QString text;
    bool operator==(const Message&) const = default;
};

// What start-up does with what it finds: refuses to run (with the message), creates the store first, or opens it.
struct StartPlan
{
    enum class Step { Refuse, Create, Open };
    Step step = Step::Open;
    Message refusal;
    // Opened on a full disk: said at once, saving is tried all the same.
    bool fullDisk = false;
};
StartPlan planStart(FolderAccess access, store::FileState state, const QString& storePath);

// The store could only be opened for reading (a full disk, a network share): what the user is told.
Message lookUpOnly(const QString& storePath, const QString& reason);
// Opened for writing on a full disk.
Message fullDisk(const QString& storePath);
// Creating or opening the store failed.
Message cannotCreate(const QString& storePath, const QString& reason);
Message cannotOpen(const QString& storePath, const QString& reason);

} // namespace telvane::app
