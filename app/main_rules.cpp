#include "app/main_rules.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace telvane::app {

ModeControls controlsIn(Mode mode)
{
    if (mode == Mode::Query) {
        return {false, true, true, false, true, false, u"智能查询输入"_s};
    }
    return {true, false, true, true, false, true, u"总记录数"_s};
}

FolderAccess probeFolder(const QString& folder)
{
    const QByteArray probe = QFile::encodeName(folder) + "/.telvane-write-test-" + QByteArray::number(::getpid());
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) {
        return errno == ENOSPC || errno == EDQUOT ? FolderAccess::Full : FolderAccess::ReadOnly;
    }
    const bool written = ::write(fd, "x", 1) == 1 && ::fsync(fd) == 0;
    const int writeError = written ? 0 : errno;
    ::close(fd);
    const bool removed = ::unlink(probe.constData()) == 0;
    if (writeError == ENOSPC || writeError == EDQUOT) {
        return FolderAccess::Full;
    }
    return written && removed ? FolderAccess::Writable : FolderAccess::ReadOnly;
}

StartPlan planStart(FolderAccess access, store::FileState state, const QString& storePath)
{
    StartPlan plan;
    if (access == FolderAccess::ReadOnly) {
        plan.step = StartPlan::Step::Refuse;
        plan.refusal = {
            u" 程序不能在只读环境中运行。"_s,
            u"    本程序在只读环境中无法正常运行，请取消磁盘的写保护。如果程序在光盘中,请将程序复制到硬盘或优盘中使用。"_s};
        return plan;
    }
    if (state != store::FileState::Missing && state != store::FileState::Store) {
        // Never overwrite, repair or move a file we do not understand: it may be the user's only copy.
        plan.step = StartPlan::Step::Refuse;
        plan.refusal = {u" 无法打开电话簿数据库"_s,
                        u"%1\n%2。\n程序没有改动这个文件。请把它移走或换成有效的电话簿数据库后再运行本程序。"_s.arg(
                            QDir::toNativeSeparators(storePath), store::describe(state, storePath))};
        return plan;
    }
    plan.step = state == store::FileState::Missing ? StartPlan::Step::Create : StartPlan::Step::Open;
    plan.fullDisk = access == FolderAccess::Full;
    return plan;
}

Message lookUpOnly(const QString& storePath, const QString& reason)
{
    return {u" 只能查询，不能保存"_s,
            u"%1\n%2\n现在可以照常查询，但新记录无法保存。"_s.arg(QDir::toNativeSeparators(storePath), reason)};
}

Message fullDisk(const QString& storePath)
{
    return {u" 磁盘已满"_s, u"%1\n%2\n现在可以照常查询；新记录要等释放磁盘空间后才能保存。"_s.arg(
                                QDir::toNativeSeparators(storePath), store::errorText(0, ENOSPC, nullptr))};
}

Message cannotCreate(const QString& storePath, const QString& reason)
{
    return {u" 无法创建电话簿数据库"_s, u"%1\n%2"_s.arg(QDir::toNativeSeparators(storePath), reason)};
}

Message cannotOpen(const QString& storePath, const QString& reason)
{
    return {u" 无法打开电话簿数据库"_s,
            u"%1\n%2。\n程序没有改动这个文件。"_s.arg(QDir::toNativeSeparators(storePath), reason)};
}

} // namespace telvane::app
